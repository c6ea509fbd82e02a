#pragma once

#include <QDialog>
#include <memory>

class QTabWidget;

namespace qlm {

class AppSettings;
class AppOptionSource;
class CQLMPropertyPage1;
class CQLMPropertyPage2;
class CQLMPropertyPage3;
class CQLMPropertyPage4;
class CSlideShowPage;
class DialBackend;

// The settings sheet "Quillmere Property": six pages filled from the application settings. OK
// takes every page's values into a copy of the settings (-1 where a "継承" box is checked) and
// hands it to AppSettings::Accept, which forces the ranges, puts the folders into folder form,
// scrambles the passwords and writes every value; Cancel writes nothing.
class CQLMPropertySheet final : public QDialog {
 public:
  // `settings` and `backend` must outlive the sheet.
  CQLMPropertySheet(AppSettings& settings, DialBackend& backend, QWidget* parent = nullptr);
  ~CQLMPropertySheet() override;

  QTabWidget& Tabs() { return *tabs_; }
  CQLMPropertyPage1& Folders() { return *page1_; }
  CQLMPropertyPage2& Connection() { return *page2_; }

  // What OK does; false when the settings file could not be written.
  bool Apply();

  void accept() override;

 private:
  AppSettings& settings_;
  std::unique_ptr<AppOptionSource> source_;
  QTabWidget* tabs_ = nullptr;
  CQLMPropertyPage1* page1_ = nullptr;
  CQLMPropertyPage2* page2_ = nullptr;
  CQLMPropertyPage3* page3_ = nullptr;
  CQLMPropertyPage4* page4_ = nullptr;
  CQLMPropertyPage4* page5_ = nullptr;
  CSlideShowPage* page6_ = nullptr;
};

}  // namespace qlm
