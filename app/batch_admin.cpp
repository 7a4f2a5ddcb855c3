#include "app/batch_admin.h"

#include <functional>

#include "dialogs/masks_dialog.h"
#include "dialogs/memory_grid.h"
#include "dialogs/objects_dialog.h"
#include "platform/text.h"

namespace keldar {
namespace {

using Kind = AdminCommand::Kind;

// What the dialogs would show in a message box goes to the host; the
// first refusal's status is kept.
struct Refusal {
  Session& s;
  int status = 0;
  void refuse(std::string_view text, int refused_status) {
    s.host.show_message(text);
    if (status == 0) status = refused_status;
  }
};

// The objects dialog without a window: its edit dialog fills in what the
// command gives and confirms, its questions go to the host.
class BatchObjectsView : public ObjectsView {
 public:
  BatchObjectsView(Refusal& refusal, std::function<void(ObjectFields&)> fill_in = {})
      : refusal_(refusal), fill_in_(std::move(fill_in)) {}
  Grid& grid() override { return grid_; }
  void set_info(std::string_view) override {}
  void set_state(std::string_view) override {}
  void set_index(std::string_view) override {}
  void set_id(std::string_view) override {}
  EditResult edit_object(ObjectRecord& record) override {
    Session& s = refusal_.s;
    ObjectFields fields = open_object_edit(record, s.computers, s.computer).fields;
    fill_in_(fields);
    std::string error;
    auto result = apply_object_edit(fields, record, error);
    if (!result) {
      refusal_.refuse(error, exit_status::kUsage);
      return EditResult::kCancelled;
    }
    return *result;
  }
  bool ask_yes_no(std::string_view text) override {
    return refusal_.s.host.ask(text, cp1251("Объекты синхронизации"), false, false) == Answer::kYes;
  }
  void show_message(std::string_view text) override {
    refusal_.s.host.show_message(text);
    refusal_.s.failures.config_file = true;
  }
  void minimise() override {}

 private:
  Refusal& refusal_;
  std::function<void(ObjectFields&)> fill_in_;
  MemoryGrid grid_;
};

class BatchMasksView : public MasksView {
 public:
  BatchMasksView(Refusal& refusal, std::function<void(MaskFields&)> fill_in = {})
      : refusal_(refusal), fill_in_(std::move(fill_in)) {}
  Grid& grid() override { return grid_; }
  void set_info(std::string_view) override {}
  void set_index(std::string_view) override {}
  EditResult edit_mask(MaskRecord& record) override {
    MaskFields fields = open_mask_edit(record);
    fill_in_(fields);
    std::string error;
    auto result = apply_mask_edit(fields, record, error);
    if (!result) {
      refusal_.refuse(error, exit_status::kUsage);
      return EditResult::kCancelled;
    }
    return *result;
  }
  void show_message(std::string_view text) override {
    refusal_.s.host.show_message(text);
    refusal_.s.failures.config_file = true;
  }

 private:
  Refusal& refusal_;
  std::function<void(MaskFields&)> fill_in_;
  MemoryGrid grid_;
};

std::string yes_no(bool on) { return cp1251(on ? "Да" : "Нет"); }

// The objects dialog's grid, one object a line, then each computer's path
// and permissions; this computer's line is marked with "*".
void list_objects(Session& s, Runs& runs) {
  Refusal refusal{s};
  BatchObjectsView view(refusal);
  ObjectsDialog dialog(s, view, runs);
  dialog.open();
  const Grid& grid = view.grid();
  if (s.objects.count() == 0) s.host.show_log_line(cp1251("Объектов нет"));
  for (int i = 0; i < s.objects.count(); ++i) {
    const ObjectRecord& record = s.objects.record(i);
    s.host.show_log_line(grid.cell(0, 0) + "=" + grid.cell(i + 1, 0) +
                         cp1251("  Разрешить вложенные: ") + yes_no(record.allow_nested()));
    for (int k = 0; k < kComputerSlots; ++k) {
      const std::string name = grid.cell(0, k + 1), path = grid.cell(i + 1, k + 1);
      if (name.empty() && path.empty()) continue;
      s.host.show_log_line(
          (k == s.computer ? "  * " : "    ") + name + ": " + path +
          cp1251("  (Копирование с носителя: ") + yes_no(record.copy_from_carrier(k)) +
          cp1251(", Копирование на носитель: ") + yes_no(record.copy_to_carrier(k)) + ")");
    }
  }
}

// The masks dialog's grid in table order, a mask a line.
void list_masks(Session& s) {
  Refusal refusal{s};
  BatchMasksView view(refusal);
  MasksDialog dialog(s, view);
  dialog.open();
  const Grid& grid = view.grid();
  if (s.masks.count() == 0) s.host.show_log_line(cp1251("Масок нет"));
  for (int i = 0; i < s.masks.count(); ++i) {
    std::string line = std::to_string(i) + ": " + grid.cell(i + 1, 0) + " ";
    for (int column = 1; column < 5; ++column) {
      line += " " + grid.cell(0, column) + "=" + grid.cell(i + 1, column);
    }
    s.host.show_log_line(line);
  }
}

// Each returns the dialog's change counters, after logging them.
ChangeCounters change_objects(Program& program, Session& s, const AdminCommand& c,
                              Refusal& refusal) {
  const int k = s.computer;
  BatchObjectsView view(refusal, [&](ObjectFields& fields) {
    fields.paths[k] = from_utf8(c.text);
    if (c.kind != Kind::kAddObject) return;
    fields.from_carrier[k] = !c.no_copy_in;
    fields.to_carrier[k] = !c.no_copy_out;
    fields.allow_nested = c.nested;
  });
  ObjectsDialog dialog(s, view, program);
  program.open_objects();
  dialog.open();
  if (c.kind == Kind::kAddObject) {
    dialog.add();
  } else if (const int index = find_object(s, c.number); index < 0) {
    // Logged; the run's failures tell.
  } else if (c.kind == Kind::kSetPath) {
    view.grid().set_row(index + 1);
    dialog.edit();
  } else if (s.host.ask(cp1251("Объект ") + std::to_string(c.number) +
                            cp1251(" будет удален вместе с его списком файлов и папкой на "
                                   "носителе, удалить?"),
                        cp1251("Объекты синхронизации"), true, false) == Answer::kYes) {
    view.grid().set_row(index + 1);
    dialog.remove();
  } else {
    refusal.status = exit_status::kInterrupted;
  }
  program.dialog_closed(dialog.counters());
  return dialog.counters();
}

ChangeCounters change_masks(Program& program, Session& s, const AdminCommand& c, Refusal& refusal) {
  BatchMasksView view(refusal, [&](MaskFields& fields) {
    fields.pattern = from_utf8(c.text);
    fields.allow_copy = !c.no_copy;
    fields.allow_delete = !c.no_delete;
    fields.ask_before_replacing = c.ask_replace;
    fields.ask_before_deleting = c.ask_delete;
  });
  MasksDialog dialog(s, view);
  const int count = s.masks.count();
  const int index = c.kind == Kind::kAddMask ? c.at.value_or(count) : c.number;
  const auto pattern = from_utf8(c.text);
  if (index > count || (index == count && c.kind == Kind::kDeleteMask)) {
    refusal.refuse(cp1251("Маски с индексом ") + std::to_string(index) + cp1251(" нет"),
                   exit_status::kUsage);
    return {};
  }
  // The window's edit box takes no more than the pattern field holds.
  if (c.kind == Kind::kAddMask && pattern && pattern->size() > MaskRecord::kMaxPattern) {
    refusal.refuse(cp1251("Маска длиннее 64 знаков"), exit_status::kUsage);
    return {};
  }
  program.open_masks();
  dialog.open();
  view.grid().set_row(index + 1);
  if (c.kind == Kind::kAddMask) {
    dialog.insert();
  } else {
    dialog.remove();
  }
  program.dialog_closed(dialog.counters());
  return dialog.counters();
}

}  // namespace

int find_object(Session& s, int id) {
  for (int i = 0; i < s.objects.count(); ++i) {
    if (s.objects.record(i).id() == id) return i;
  }
  s.log.line(cp1251("Объект с идентификатором ") + std::to_string(id) + cp1251(" не найден"));
  s.failures.lists = true;
  return -1;
}

int administer(Program& program, Session& s, const AdminCommand& c) {
  if (c.kind == Kind::kNone) return 0;
  if (c.kind == Kind::kListObjects) {
    list_objects(s, program);
    return 0;
  }
  if (c.kind == Kind::kListMasks) {
    list_masks(s);
    return 0;
  }
  Refusal refusal{s};
  const bool masks = c.kind == Kind::kAddMask || c.kind == Kind::kDeleteMask;
  if (s.carrier_busy) {
    refusal.refuse(cp1251("Носитель занят: на нем идет другой запуск программы, ") +
                       cp1251(masks ? "маски не изменены" : "объекты не изменены"),
                   exit_status::kCarrierBusy);
    return refusal.status;
  }
  if (!s.require_computer(cp1251(masks ? "изменение масок" : "изменение объектов"))) {
    return exit_status::kUnidentified;
  }
  const ChangeCounters counters =
      masks ? change_masks(program, s, c, refusal) : change_objects(program, s, c, refusal);
  if (refusal.status == 0 && !s.failures.lists && !s.failures.config_file &&
      counters.added + counters.changed + counters.deleted == 0) {
    s.host.show_message(cp1251("Изменений нет"));
  }
  return refusal.status;
}

}  // namespace keldar
