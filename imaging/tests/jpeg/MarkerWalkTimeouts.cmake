# Read by CTest after the tests of imaging_tests are discovered. The MRW
# reader's test decodes its preview through the same walk.
set_tests_properties(
  XpJpegMarkerWalk.HostileSegmentsEndTheExifSearchWithAResult
  XpJpegMarkerWalk.HostileSegmentsEndThePrologueCheckWithAResult
  XpJpegMarkerWalk.HostileSegmentsEndEveryReadOfThePicture
  XpImageIoMRW.APreviewEndingInAShortApp1EndsEveryRead
  PROPERTIES TIMEOUT 10)
