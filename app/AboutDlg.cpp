#include "app/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "app/Resources.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Penvale"));
    setObjectName(QStringLiteral("AboutDialog"));
    // A caption without a close box: OK, Enter or Escape close it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    PvInitAppResources();
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/penvale/penvale32.xpm")).pixmap(32, 32));
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
