#include "dialogs/object_edit.h"

#include "lists/scan.h"
#include "platform/text.h"

namespace keldar {

ObjectEditView open_object_edit(const ObjectRecord& record, const ComputerTable& computers,
                                int computer) {
  ObjectEditView view;
  for (int k = 0; k < kComputerSlots; ++k) {
    view.names[k] = computers.name(k);
    view.fields.paths[k] = record.path(k);
    view.fields.from_carrier[k] = record.copy_from_carrier(k);
    view.fields.to_carrier[k] = record.copy_to_carrier(k);
  }
  view.fields.allow_nested = record.allow_nested();
  view.id_text = std::to_string(record.id());
  view.marker_row = computer >= 0 && computer < kComputerSlots ? computer : -1;
  return view;
}

std::optional<EditResult> apply_object_edit(const ObjectFields& fields, ObjectRecord& record,
                                            std::string& error) {
  for (int k = 0; k < kComputerSlots; ++k) {
    const std::string number = std::to_string(k + 1);
    if (!fields.paths[k]) {
      error = cp1251("Путь компьютера ") + number +
              cp1251(" содержит знаки, которых нет в кодировке Windows-1251");
      return std::nullopt;
    }
    if (fields.paths[k]->size() > ObjectRecord::kMaxPath) {
      error = cp1251("Путь компьютера ") + number + cp1251(" длиннее 511 знаков");
      return std::nullopt;
    }
  }
  ObjectRecord edited = record;
  bool changed = false;
  for (int k = 0; k < kComputerSlots; ++k) {
    if (*fields.paths[k] != edited.path(k)) {
      if (!edited.set_path(k, *fields.paths[k])) {
        error =
            cp1251("Путь компьютера ") + std::to_string(k + 1) + cp1251(" не может быть записан");
        return std::nullopt;
      }
      changed = true;
    }
    if (fields.from_carrier[k] != edited.copy_from_carrier(k)) {
      edited.set_copy_from_carrier(k, fields.from_carrier[k]);
      changed = true;
    }
    if (fields.to_carrier[k] != edited.copy_to_carrier(k)) {
      edited.set_copy_to_carrier(k, fields.to_carrier[k]);
      changed = true;
    }
  }
  if (fields.allow_nested != edited.allow_nested()) {
    edited.set_allow_nested(fields.allow_nested);
    changed = true;
  }
  if (!changed) return EditResult::kUnchanged;
  record = edited;
  return EditResult::kChanged;
}

BrowseStart browse_start(const ObjectRecord& record, int computer,
                         std::string_view fallback_folder) {
  const std::string path = record.path(computer);
  BrowseStart start{std::string(path_folder(path)), std::string(path_pattern(path))};
  if (start.folder.empty()) start.folder = fallback_folder;
  if (start.name.empty()) start.name = "*.*";
  return start;
}

std::string browse_result(std::string_view chosen_folder, const BrowseStart& start,
                          char separator) {
  std::string result(chosen_folder);
  if (result.empty() || (result.back() != '/' && result.back() != '\\')) result += separator;
  return result + start.name;
}

}  // namespace keldar
