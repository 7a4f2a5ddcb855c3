#include "dialogs/masks_dialog.h"

#include "platform/text.h"

namespace keldar {
namespace {

std::string yes_no(bool on) { return cp1251(on ? "Да" : "Нет"); }

}  // namespace

MaskFields open_mask_edit(const MaskRecord& record) {
  return {record.pattern(), record.allow_copy(), record.allow_delete(),
          record.ask_before_replacing(), record.ask_before_deleting()};
}

std::optional<EditResult> apply_mask_edit(const MaskFields& fields, MaskRecord& record,
                                          std::string& error) {
  if (!fields.pattern) {
    error = cp1251("Маска содержит знаки, которых нет в кодировке Windows-1251");
    return std::nullopt;
  }
  std::string pattern = fields.pattern->substr(0, MaskRecord::kMaxPattern);
  if (pattern.find('\0') != std::string::npos) {
    error = cp1251("Маска не может содержать нулевой знак");
    return std::nullopt;
  }
  bool changed = false;
  if (fields.allow_copy != record.allow_copy()) {
    record.set_allow_copy(fields.allow_copy);
    changed = true;
  }
  if (fields.allow_delete != record.allow_delete()) {
    record.set_allow_delete(fields.allow_delete);
    changed = true;
  }
  if (fields.ask_before_replacing != record.ask_before_replacing()) {
    record.set_ask_before_replacing(fields.ask_before_replacing);
    changed = true;
  }
  if (fields.ask_before_deleting != record.ask_before_deleting()) {
    record.set_ask_before_deleting(fields.ask_before_deleting);
    changed = true;
  }
  if (*fields.pattern != record.pattern()) {
    (void)record.set_pattern(pattern);
    changed = true;
  }
  return changed ? EditResult::kChanged : EditResult::kUnchanged;
}

MasksDialog::MasksDialog(Session& session, MasksView& view) : s_(session), view_(view) {}

void MasksDialog::open() {
  static const std::pair<const char*, int> kColumns[] = {{"Маска файла", 1600},
                                                         {"Коп.", 500},
                                                         {"Удал.", 500},
                                                         {"Запрос зам.", 1100},
                                                         {"Запрос удал.", 1100}};
  Grid& grid = view_.grid();
  for (int column = 0; column < 5; ++column) {
    grid.set_column_width(column, kColumns[column].second);
    grid.set_cell(0, column, cp1251(kColumns[column].first));
  }
  fill();
  counters_ = {};
}

void MasksDialog::fill() {
  Grid& grid = view_.grid();
  const int count = s_.masks.count();
  grid.set_rows(count + 2);
  for (int i = 0; i < count; ++i) {
    const MaskRecord& mask = s_.masks.record(i);
    grid.set_cell(i + 1, 0, mask.pattern());
    grid.set_cell(i + 1, 1, yes_no(mask.allow_copy()));
    grid.set_cell(i + 1, 2, yes_no(mask.allow_delete()));
    grid.set_cell(i + 1, 3, yes_no(mask.ask_before_replacing()));
    grid.set_cell(i + 1, 4, yes_no(mask.ask_before_deleting()));
  }
  for (int column = 0; column < 5; ++column) grid.set_cell(count + 1, column, "");
}

void MasksDialog::click() {
  Grid& grid = view_.grid();
  view_.set_info(grid.cell(grid.row(), 0));
  view_.set_index(std::to_string(grid.row() - 1));
}

bool MasksDialog::refused_on_damaged_table() {
  if (!s_.masks.damaged()) return false;
  view_.show_message(cp1251("Файл MASKS.QRV поврежден, изменения не записываются"));
  return true;
}

void MasksDialog::insert() {
  if (refused_on_damaged_table()) return;
  Grid& grid = view_.grid();
  insert_position_ = grid.row() - 1;
  grid.set_row(grid.rows() - 1);
  edit();
}

void MasksDialog::edit() {
  const int index = view_.grid().row() - 1;
  const int count = s_.masks.count();
  if (index < 0 || index > count || refused_on_damaged_table()) {
    insert_position_ = -1;
    return;
  }
  if (insert_position_ < 0 && index == count) insert_position_ = count;
  const int position = insert_position_;
  insert_position_ = -1;
  if (view_.edit_mask(s_.masks.record(index)) != EditResult::kChanged) return;
  if (position >= 0) {
    if (!s_.masks.insert_template_at(position)) {
      view_.show_message(cp1251("Таблица масок заполнена, маска не добавлена"));
      s_.masks.record(count) = MaskRecord{};
      return;
    }
    ++counters_.added;
  } else {
    ++counters_.changed;
  }
  save();
}

void MasksDialog::remove() {
  const int index = view_.grid().row() - 1;
  if (index < 0 || index >= s_.masks.count() || refused_on_damaged_table()) return;
  s_.masks.remove(index);
  ++counters_.deleted;
  save();
}

void MasksDialog::save() {
  if (s_.masks.save(s_.fs, s_.carrier.path(kMaskFileName)) != 0) {
    view_.show_message(cp1251("Ошибка записи файла масок"));
    return;
  }
  view_.grid().set_rows(1);
  (void)s_.masks.load(s_.fs, s_.carrier.path(kMaskFileName));
  fill();
}

}  // namespace keldar
