// The masks dialog (the grid of masks, Insert, Edit, Delete) and the mask
// edit dialog (the pattern and four flags, with the highlight of the ask
// boxes whose permission is off).
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <map>

#include "dialogs/masks_dialog.h"
#include "gui/qt/cmsflexgrid.h"

namespace keldar {

class QtHost;

class MaskEditWindow : public QDialog {
  Q_OBJECT

 public:
  MaskEditWindow(MaskRecord& record, QtHost& host, QWidget* parent);
  EditResult run();

  QLineEdit* pattern_edit() const { return pattern_; }
  QCheckBox* allow_copy_box() const { return allow_copy_; }
  QCheckBox* allow_delete_box() const { return allow_delete_; }
  QCheckBox* ask_replace_box() const { return ask_replace_; }
  QCheckBox* ask_delete_box() const { return ask_delete_; }

 private:
  void highlight();
  void ok();

  MaskRecord& record_;
  QtHost& host_;
  EditResult result_ = EditResult::kCancelled;
  QCheckBox* allow_copy_;
  QCheckBox* allow_delete_;
  QCheckBox* ask_replace_;
  QCheckBox* ask_delete_;
  QLineEdit* pattern_;
};

class MasksWindow : public QDialog, public MasksView {
  Q_OBJECT

 public:
  enum class Button { kInsert, kEdit, kDelete, kOk };

  MasksWindow(Session& session, QtHost& host, QWidget* parent);

  const ChangeCounters& counters() const { return logic_.counters(); }
  CMSFlexGrid* flex_grid() const { return grid_; }
  QPushButton* button(Button role) const { return buttons_.at(role); }
  QLabel* info_label() const { return info_; }

  Grid& grid() override { return *grid_; }
  void set_info(std::string_view text) override;
  void set_index(std::string_view text) override;
  EditResult edit_mask(MaskRecord& record) override;
  void show_message(std::string_view text) override;

 private:
  QtHost& host_;
  CMSFlexGrid* grid_;
  QLabel* info_;
  QLabel* index_;
  std::map<Button, QPushButton*> buttons_;
  MasksDialog logic_;
};

}  // namespace keldar
