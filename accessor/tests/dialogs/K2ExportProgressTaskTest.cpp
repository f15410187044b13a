#include "accessor/dialogs/K2ExportProgressTask.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "accessor/task/K2ExportItem.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

// An export task manager that records the calls it gets.
class RecordingManager : public K2ExportTaskManager {
 public:
  XpResult Pause() override { return Record("Pause"); }
  XpResult Resume() override { return Record("Resume"); }
  XpResult Stop() override { return Record("Stop"); }

  std::vector<std::string> events;

 private:
  XpResult Record(const std::string& event) {
    events.push_back(event);
    return kXpOk;
  }
};

K2ExportItem Item(uint32_t contentType, const char16_t* name) {
  K2ExportItem item;
  item.contentType = contentType;
  item.sourceFolder = u"/absent/DCIM/";
  item.fileNames = {name};
  return item;
}

class K2ExportProgressTask : public testsupport::HermeticTest {};

TEST_F(K2ExportProgressTask, PassesTheStopSequenceToTheManager) {
  RecordingManager manager;
  ::K2ExportProgressTask task(manager);
  task.Pause();
  task.Resume();
  task.Pause();
  task.Stop();
  EXPECT_EQ(manager.events, (std::vector<std::string>{"Pause", "Resume", "Pause", "Stop"}));
}

TEST_F(K2ExportProgressTask, TheExportableCountLeavesOutUnsupportedItems) {
  K2ExportTaskManager manager;
  const ::K2ExportProgressTask task(manager);
  EXPECT_EQ(task.GetExportableCount(), 0u);
  manager.SetItems({Item(kK2ContentTypeJpeg, u"IMG_0001.JPG"), Item(kK2ContentTypeUnread, u"IMG_0002.CRW"),
                    Item(kK2ContentTypeJpeg, u"IMG_0003.JPG"), Item(kK2ContentTypeJpeg, u"IMG_0004.JPG")});
  EXPECT_EQ(task.GetExportableCount(), 3u);
}

}  // namespace
