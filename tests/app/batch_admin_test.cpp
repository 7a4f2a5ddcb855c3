// The object and mask tables changed from the command line: what each
// command leaves in SYNCOBJ.QRV and MASKS.QRV, the lines it logs, and what
// it refuses with which message and status.
#include "app/batch_admin.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "fakes/computers.h"
#include "format/mask_file.h"
#include "format/object_file.h"
#include "platform/text.h"

namespace keldar {
namespace {

constexpr const char* kObjects = "C:\\CARRIER\\SYNCOBJ.QRV";
constexpr const char* kMasks = "C:\\CARRIER\\MASKS.QRV";

// Two computers, Ann and Bob, identified on the carrier C:\CARRIER.
class BatchAdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(run(0, {"--batch", "--name", "Ann"}), exit_status::kOk);
    ASSERT_EQ(run(1, {"--batch", "--name", "Bob"}), exit_status::kOk);
  }
  int run(int computer, std::vector<std::string> args) {
    out.str("");
    err.str("");
    Options options = parse_options(args);
    EXPECT_EQ(options.error, "");
    TerminalHost host(out, err, nullptr, options.name, options.answer);
    return run_batch(*world.session(computer, host), options);
  }
  // Whether the terminal showed `line` as a whole line.
  bool shown(const std::string& line) const {
    return ("\n" + out.str()).find("\n" + line + "\n") != std::string::npos;
  }
  std::string file(const char* path) { return fs.contents(path).value_or("(none)"); }

  test::Computers world{{.computers = 2}};
  FakeFileSystem& fs = world.fake();
  std::ostringstream out, err;
};

ObjectRecord object(std::int16_t id, std::array<const char*, 2> paths) {
  ObjectRecord r = ObjectRecord::new_object();
  r.set_id(id);
  for (int k = 0; k < 2; ++k) EXPECT_TRUE(r.set_path(k, paths[k]));
  return r;
}

MaskRecord mask(const char* pattern, bool copy, bool remove, bool ask = false) {
  MaskRecord r;
  EXPECT_TRUE(r.set_pattern(pattern));
  r.set_allow_copy(copy);
  r.set_allow_delete(remove);
  r.set_ask_before_replacing(ask);
  r.set_ask_before_deleting(ask);
  return r;
}

// A new site: Ann adds the object with her folder, Bob gives his, Ann adds
// and deletes another; each step is the objects dialog's.
TEST_F(BatchAdminTest, ObjectCommandsStoreAndLogWhatTheDialogDoes) {
  ObjectRecord first = object(1, {"D:\\A", ""});
  first.set_allow_nested(true);
  first.set_copy_to_carrier(0, false);
  ObjectRecord first_on_both = first;
  ASSERT_TRUE(first_on_both.set_path(1, "D:\\B"));
  const ObjectRecord second = object(2, {"D:\\C", ""});
  struct Step {
    int computer;
    std::vector<std::string> args;
    int status;
    std::string objects;
    std::vector<std::string> lines;
  };
  const Step steps[] = {
      {0,
       {"--add-object", "--path", "D:\\A", "--nested", "--no-copy-out"},
       exit_status::kOk,
       encode_object_file(2, std::vector{first}),
       {"Новый объект: 1", "Добавлено объектов синхронизации: 1"}},
      // The dialog asks whether to give the object a new id: Нет.
      {1,
       {"--object", "1", "--set-path", "D:\\B"},
       exit_status::kOk,
       encode_object_file(2, std::vector{first_on_both}),
       {"Объект 1 изменен", "Изменено объектов синхронизации: 1"}},
      {0,
       {"--add-object", "--path", "D:\\C"},
       exit_status::kOk,
       encode_object_file(3, std::vector{first_on_both, second}),
       {"Новый объект: 2"}},
      {0,
       {"--delete-object", "1"},
       exit_status::kInterrupted,
       encode_object_file(3, std::vector{first_on_both, second}),
       {}},
      {0,
       {"--delete-object", "1", "--answer", "yes"},
       exit_status::kOk,
       encode_object_file(3, std::vector{second}),
       {"Объект 1 удален", "Удалено объектов синхронизации: 1"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.args[0] + " " + step.args[1]);
    EXPECT_EQ(run(step.computer, step.args), step.status) << err.str();
    EXPECT_EQ(file(kObjects), step.objects);
    for (const std::string& line : step.lines) EXPECT_TRUE(shown(line)) << line << out.str();
  }
  EXPECT_EQ(run(1, {"--objects"}), exit_status::kOk);
  EXPECT_TRUE(shown("ID=2  Разрешить вложенные: Нет")) << out.str();
  EXPECT_TRUE(shown("    Ann: D:\\C  (Копирование с носителя: Да, Копирование на носитель: Да)"));
  EXPECT_TRUE(shown("  * Bob:   (Копирование с носителя: Да, Копирование на носитель: Да)"));
}

TEST_F(BatchAdminTest, MaskCommandsInsertWhereAskedAndDelete) {
  struct Step {
    std::vector<std::string> args;
    std::vector<MaskRecord> masks;
    std::string line;
  };
  const MaskRecord tmp = mask("*.tmp", false, false), all = mask("*.*", true, true),
                   doc = mask("*.doc", true, true, true);
  const Step steps[] = {
      {{"--add-mask", "*.tmp", "--no-copy", "--no-delete"}, {tmp}, "Добавлено масок файлов: 1"},
      {{"--add-mask", "*.*"}, {tmp, all}, "Добавлено масок файлов: 1"},
      {{"--add-mask", "*.doc", "--at", "0", "--ask-replace", "--ask-delete"},
       {doc, tmp, all},
       "Добавлено масок файлов: 1"},
      {{"--delete-mask", "1"}, {doc, all}, "Удалено масок файлов: 1"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.args[0] + " " + step.args[1]);
    EXPECT_EQ(run(0, step.args), exit_status::kOk) << err.str();
    EXPECT_EQ(file(kMasks), encode_mask_file(step.masks));
    EXPECT_TRUE(shown(step.line)) << out.str();
  }
  EXPECT_EQ(run(1, {"--masks"}), exit_status::kOk);
  EXPECT_TRUE(shown("0: *.doc  Коп.=Да Удал.=Да Запрос зам.=Да Запрос удал.=Да")) << out.str();
  EXPECT_TRUE(shown("1: *.*  Коп.=Да Удал.=Да Запрос зам.=Нет Запрос удал.=Нет"));
}

// Every refusal leaves both tables as they were and says why.
TEST_F(BatchAdminTest, RefusalsChangeNothingAndSayWhy) {
  ASSERT_EQ(run(0, {"--add-object", "--path", "D:\\A"}), exit_status::kOk);
  ASSERT_EQ(run(0, {"--add-mask", "*.*"}), exit_status::kOk);
  const std::string objects = file(kObjects), masks = file(kMasks);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;  // on the terminal's error stream, or a logged line
    std::function<void()> before = [] {};
  };
  const Case cases[] = {
      {{"--add-mask", "*.x"},
       exit_status::kCarrierBusy,
       "keldar: Носитель занят: на нем идет другой запуск программы, маски не изменены",
       [&] { world.simulated_system(0).set_carrier_held(true); }},
      {{"--delete-object", "1", "--answer", "yes"},
       exit_status::kCarrierBusy,
       "keldar: Носитель занят: на нем идет другой запуск программы, объекты не изменены",
       [&] { world.simulated_system(0).set_carrier_held(true); }},
      {{"--add-object", "--path", "D:\\名"},
       exit_status::kUsage,
       "keldar: Путь компьютера 1 содержит знаки, которых нет в кодировке Windows-1251"},
      {{"--object", "1", "--set-path", std::string(512, 'p')},
       exit_status::kUsage,
       "keldar: Путь компьютера 1 длиннее 511 знаков"},
      {{"--add-mask", "*.名"},
       exit_status::kUsage,
       "keldar: Маска содержит знаки, которых нет в кодировке Windows-1251"},
      {{"--add-mask", std::string(65, 'm')},
       exit_status::kUsage,
       "keldar: Маска длиннее 64 знаков"},
      {{"--add-mask", "*.x", "--at", "2"}, exit_status::kUsage, "keldar: Маски с индексом 2 нет"},
      {{"--delete-mask", "1"}, exit_status::kUsage, "keldar: Маски с индексом 1 нет"},
      {{"--object", "7", "--set-path", "D:\\X"},
       exit_status::kFailures,
       "Объект с идентификатором 7 не найден"},
      {{"--delete-object", "1"}, exit_status::kInterrupted, "-> Нет"},
      {{"--add-mask", "*.x"},
       exit_status::kUnidentified,
       "Компьютер не идентифицирован, операция \"изменение масок\" не выполнена. Запустите "
       "программу снова и введите имя компьютера",
       [&] { fs.remove_tree("E:\\A\\KELDAR.ID"); }},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.args[0] + " " + test.args[1]);
    test.before();
    EXPECT_EQ(run(0, test.args), test.status);
    world.simulated_system(0).set_carrier_held(false);
    EXPECT_TRUE(shown(test.message) ||
                ("\n" + err.str()).find("\n" + test.message + "\n") != std::string::npos)
        << out.str() << err.str();
    EXPECT_EQ(file(kObjects), objects);
    EXPECT_EQ(file(kMasks), masks);
  }
}

// A damaged table is refused by the dialog's own check, before anything
// could be written over it.
TEST_F(BatchAdminTest, DamagedTablesAreNotWrittenOver) {
  fs.write(kObjects, "\xE5\x01");
  fs.write(kMasks, "\x01");
  EXPECT_EQ(run(0, {"--add-object", "--path", "D:\\A"}), exit_status::kConfigFile);
  EXPECT_NE(err.str().find("Файл SYNCOBJ.QRV поврежден, изменения не записываются"),
            std::string::npos);
  EXPECT_EQ(run(0, {"--add-mask", "*.*"}), exit_status::kConfigFile);
  EXPECT_NE(err.str().find("Файл MASKS.QRV поврежден, изменения не записываются"),
            std::string::npos);
  EXPECT_EQ(file(kObjects), "\xE5\x01");
  EXPECT_EQ(file(kMasks), "\x01");
}

TEST(AdminOptionsTest, CommandsAndTheirFlagsGoTogether) {
  const std::vector<std::string> refused[] = {
      {"--add-object"},          {"--path", "X"},
      {"--objects", "--nested"}, {"--set-path", "X"},
      {"--object", "1"},         {"--object", "1", "--op", "compare", "--set-path", "X"},
      {"--masks", "--at", "1"},  {"--add-mask", "*", "--delete-mask", "0"},
      {"--sync", "--objects"},   {"--delete-mask", "-1"},
      {"--delete-object", "x"},
  };
  for (const auto& args : refused) EXPECT_NE(parse_options(args).error, "") << args[0];
  Options o = parse_options({"--object", "3", "--set-path", "/home/b"});
  EXPECT_EQ(o.error, "");
  EXPECT_EQ(o.admin.kind, AdminCommand::Kind::kSetPath);
  EXPECT_EQ(o.admin.number, 3);
  EXPECT_FALSE(o.object_id.has_value()) << "no operation to start";
  EXPECT_FALSE(o.window());
}

}  // namespace
}  // namespace keldar
