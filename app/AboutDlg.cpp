#include "app/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "platform/QtImage.h"
#include "surface/Images.h"

namespace {
// The application icon, the same picture the desktop shows for the program.
#include "app/images/penvale32.xpm"
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Penvale"));
    setObjectName(QStringLiteral("AboutDialog"));
    // A caption without a close box: OK, Enter or Escape close it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap::fromImage(PvToQImage(PvImageFromXpm(penvale32))));
    auto* name = new QLabel(QStringLiteral("Penvale"), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);

    auto* header = new QHBoxLayout;
    header->addWidget(icon);
    header->addWidget(name, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    const char* lines[] = {
        "Copyright (C) 2026 the Penvale developers",
        "Version 1.0",
        "https://penvale.example.org",
        "Credits",
        "The Penvale team",
    };
    for (const char* line : lines) {
        auto* label = new QLabel(QString::fromUtf8(line), this);
        label->setAlignment(Qt::AlignHCenter);
        layout->addWidget(label);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    // With a parent the dialog opens centred over it, OK holding the focus.
}

CAboutDlg::~CAboutDlg() = default;
