#include "dialogs/objects_dialog.h"

#include "lists/removal.h"
#include "platform/text.h"

namespace keldar {
namespace {

constexpr int kIdColumnTwips = 400;
constexpr int kPathColumnTwips = 2100;

}  // namespace

std::string list_state_text(int state) {
  switch (state) {
    case 0:
      return cp1251("не обработан");
    case 1:
      return cp1251("заполнен");
    case 2:
      return cp1251("1 операция");
    case 3:
      return cp1251("синхронизирован");
    default:
      return std::to_string(state);
  }
}

std::string run_in_progress_message() {
  return cp1251(
      "Идет выполнение операции. Дождитесь ее окончания или остановите ее кнопкой \"Стоп\"");
}

ObjectsDialog::ObjectsDialog(Session& session, ObjectsView& view, Runs& runs)
    : s_(session), view_(view), runs_(runs) {}

void ObjectsDialog::open() {
  Grid& grid = view_.grid();
  grid.set_column_width(0, kIdColumnTwips);
  grid.set_cell(0, 0, "ID");
  for (int k = 0; k < kComputerSlots; ++k) {
    grid.set_column_width(k + 1, kPathColumnTwips);
    grid.set_cell(0, k + 1, s_.computers.name(k));
  }
  if (s_.computer >= 0) {
    grid.set_row(0);
    grid.set_column(s_.computer + 1);
    grid.set_cell_bold();
  }
  fill();
  counters_ = {};
}

void ObjectsDialog::fill() {
  Grid& grid = view_.grid();
  const int count = s_.objects.count();
  grid.set_rows(count + 2);
  for (int i = 0; i < count; ++i) {
    const ObjectRecord& record = s_.objects.record(i);
    grid.set_cell(i + 1, 0, std::to_string(record.id()));
    for (int k = 0; k < kComputerSlots; ++k) grid.set_cell(i + 1, k + 1, record.path(k));
  }
  for (int column = 0; column <= kComputerSlots; ++column) grid.set_cell(count + 1, column, "");
  grid.set_row(count + 1);
  grid.set_column(s_.computer >= 0 ? s_.computer + 1 : 1);
  click();
}

void ObjectsDialog::click() {
  Grid& grid = view_.grid();
  const int column = grid.column();
  if (column > 0) view_.set_info(grid.text());
  view_.set_id(grid.cell(grid.row(), 0));
  view_.set_index(std::to_string(current_index()));
  // The lists are the worker's while a run is in progress: not even
  // whether they are held may be read before the run has ended.
  if (runs_.busy() || !s_.lists.held()) return;
  const int index = current_index();
  if (column >= 1 && column <= kComputerSlots && index >= 0 && index < s_.objects.count() &&
      static_cast<std::size_t>(index) < s_.lists.size()) {
    view_.set_state(list_state_text(s_.lists.list(index).states[column - 1]));
  } else {
    view_.set_state("");
  }
}

bool ObjectsDialog::refused_while_running() {
  if (!runs_.busy()) return false;
  view_.show_message(run_in_progress_message());
  return true;
}

bool ObjectsDialog::refused_on_damaged_table() {
  if (!s_.objects.damaged()) return false;
  view_.show_message(cp1251("Файл SYNCOBJ.QRV поврежден, изменения не записываются"));
  return true;
}

void ObjectsDialog::add() {
  if (refused_while_running() || refused_on_damaged_table()) return;
  view_.grid().set_row(view_.grid().rows() - 1);
  edit();
}

void ObjectsDialog::edit() {
  if (refused_while_running() || refused_on_damaged_table()) return;
  const int index = current_index();
  if (index < 0 || index > s_.objects.count()) return;
  s_.current_object = index;
  ObjectRecord& record = s_.objects.record(index);
  if (view_.edit_object(record) != EditResult::kChanged) return;
  if (record.id() != 0) {
    const std::string id = std::to_string(record.id());
    s_.log.line(cp1251("Объект ") + id + cp1251(" изменен"));
    if (view_.ask_yes_no(cp1251(
            "Объект был изменен, изменить идентификатор (будет удален файл общего списка)?"))) {
      delete_object_list(s_.env, s_, s_.current_object);
      s_.log.line(cp1251("Список объекта ") + id + cp1251(" удален"));
      // The new identity comes from the next object id, as a new object's.
      record.set_id(s_.objects.next_id());
      s_.objects.set_next_id(static_cast<std::int16_t>(s_.objects.next_id() + 1));
      s_.log.line(cp1251("Новый идентификатор объекта: ") + std::to_string(record.id()));
    }
  } else {
    record.set_id(s_.objects.next_id());
    s_.objects.set_next_id(static_cast<std::int16_t>(s_.objects.next_id() + 1));
    s_.log.line(cp1251("Новый объект: ") + std::to_string(record.id()));
  }
  if (index == s_.objects.count()) {
    if (!s_.objects.commit_new_object()) {
      view_.show_message(cp1251("Таблица объектов заполнена, объект не добавлен"));
      record = ObjectRecord::new_object();
      return;
    }
    ++counters_.added;
  } else {
    ++counters_.changed;
  }
  save();
}

void ObjectsDialog::remove() {
  if (refused_while_running() || refused_on_damaged_table()) return;
  const int index = current_index();
  if (index < 0 || index >= s_.objects.count()) return;
  s_.current_object = index;
  const std::string id = std::to_string(s_.objects.record(index).id());
  delete_object_list(s_.env, s_, index);
  s_.log.line(cp1251("Объект ") + id + cp1251(" удален"));
  s_.objects.remove(index);
  ++counters_.deleted;
  save();
}

void ObjectsDialog::save() {
  s_.lists.release();
  if (s_.objects.save(s_.fs, s_.carrier.path(kObjectFileName)) != 0) {
    view_.show_message(cp1251("Ошибка записи файла объектов"));
    return;
  }
  view_.grid().set_rows(1);
  (void)s_.objects.load(s_.fs, s_.carrier.path(kObjectFileName));
  fill();
}

void ObjectsDialog::operation(ObjectOperation operation) {
  const int index = current_index();
  if (index < 0 || index >= s_.objects.count()) return;
  if (refused_while_running()) return;
  if (!s_.require_computer(cp1251("операция над объектом"))) return;
  if (!prepare_object_operation(s_, index, operation)) return;
  view_.minimise();
  runs_.start(RunThread::Kind::kOneObject);
}

}  // namespace keldar
