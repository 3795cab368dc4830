#pragma once
#include <QDialog>

// The About box: icon, name and version. Closes with OK, Enter or Escape; stores nothing.
class CAboutDlg : public QDialog {
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;
};
