// The object edit dialog: per computer its name, path and two permissions,
// the allow-nested box, the row marker beside this computer's row, Browse
// for this computer's path.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QLineEdit>
#include <array>

#include "dialogs/object_edit.h"

namespace keldar {

class QtHost;

class ObjectEditWindow : public QDialog {
  Q_OBJECT

 public:
  ObjectEditWindow(ObjectRecord& record, const ComputerTable& computers, int computer, QtHost& host,
                   QWidget* parent);
  // Runs the dialog modally; the record is changed only on kChanged.
  EditResult run();

  QLineEdit* path_edit(int k) const { return paths_[k]; }
  QCheckBox* from_carrier_box(int k) const { return from_[k]; }
  QCheckBox* to_carrier_box(int k) const { return to_[k]; }
  QCheckBox* nested_box() const { return nested_; }
  QFrame* marker() const { return marker_; }

 private:
  void ok();
  void browse();

  ObjectRecord& record_;
  int computer_;
  QtHost& host_;
  EditResult result_ = EditResult::kCancelled;
  std::array<QLineEdit*, kComputerSlots> paths_{};
  std::array<QCheckBox*, kComputerSlots> from_{};
  std::array<QCheckBox*, kComputerSlots> to_{};
  QCheckBox* nested_ = nullptr;
  QFrame* marker_ = nullptr;
};

}  // namespace keldar
