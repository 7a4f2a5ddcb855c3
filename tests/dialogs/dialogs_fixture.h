// A session started on the fake file system (carrier C:\CARRIER, object
// folders on D:), for the dialogs' logic tests.
#pragma once

#include <gtest/gtest.h>

#include "app/session.h"
#include "app/startup.h"
#include "fakes/recording_host.h"
#include "fakes/test_support.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/faulty_file_system.h"
#include "platform/fake/fixed_clock.h"

namespace keldar {

class DialogsTest : public ::testing::Test {
 protected:
  DialogsTest() {
    fs.add_volume("C:\\");
    fs.add_volume("D:\\");
    fs.make_folders("C:\\CARRIER");
    system.set_current_directory("C:\\CARRIER");
  }
  // Starts the session as computer "Ann" (slot 0 on a fresh carrier) and
  // forgets the start-up's log lines.
  void start() {
    host.answer_with("Ann");
    ASSERT_EQ(start_up(session, 'C'), StartResult::kReady);
    host.lines.clear();
  }
  // The object table as a fresh load of SYNCOBJ.QRV has it.
  ObjectTable stored_objects() {
    ObjectTable table;
    table.load(fs, "C:\\CARRIER\\SYNCOBJ.QRV");
    return table;
  }

  FakeFileSystem fs;
  FaultyFileSystem faults{fs};  // what the code under test sees
  FakeSystem system;
  FixedClock clock;
  RecordingHost host;
  Session session{faults, system, clock, host};
};

}  // namespace keldar
