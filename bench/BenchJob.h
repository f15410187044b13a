#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "platform/time/XpDateTime.h"

// k2benchjob: one piece of the project's work as a program of its own, so
// that the benchmark times it as a whole process with its start-up, like
// the tools it is compared with.
//
//   k2benchjob convert SOURCE DESTINATION [--large] [--cut]
//       the resize engine on its full path as the resizing exporter drives
//       it, at the exporter's quality;
//   k2benchjob floor SOURCE DESTINATION SCALE QUALITY
//       libjpeg-turbo alone: decode at 1/SCALE, encode at QUALITY;
//   k2benchjob database CARD FIRST COUNT
//       opens the card's album database, adds the contents FIRST to
//       FIRST + COUNT - 1 (ContentPath) in albums of kContentsPerAlbum, and
//       commits.
//
// Exit status: 0 done, 1 the work failed, 2 bad usage.
class BenchJob {
 public:
  static constexpr int kDone = 0;
  static constexpr int kFailed = 1;
  static constexpr int kUsage = 2;

  static constexpr int32_t kContentsPerAlbum = 100;
  static constexpr int32_t kContentsPerFolder = 100;

  BenchJob(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  int Run(const std::vector<std::string>& arguments);

  // "DCIM/nnnMSDCF/DSC0nnnn.JPG" of content index, from 0.
  static std::string ContentPath(int32_t index);
  static std::string AlbumTitle(int32_t album);
  // One a second from 2024-05-17 08:00:00.
  static XpDateTime ContentDate(int32_t index);
  // The exporter's quality.
  static int32_t Quality();

 private:
  int Convert(const std::vector<std::string>& arguments);
  int Floor(const std::vector<std::string>& arguments);
  int Database(const std::vector<std::string>& arguments);
  int Usage();

  std::ostream& out_;
  std::ostream& err_;
};
