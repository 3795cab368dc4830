#include "app/SettingsDlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/Help.h"
#include "surface/Commands.h"

CSettingsDlg::CSettingsDlg(IProfile& profile, QWidget* parent) : QDialog(parent), m_settings(profile) {
    setWindowTitle(QStringLiteral("Penvale Settings"));
    setObjectName(QStringLiteral("SettingsDialog"));
    // The dialog stays open with its unsaved position while help is up.
    PvAddHelpKey(*this, pv::help::kSettingsDialog);

    auto* group = new QGroupBox(QStringLiteral("0 <- Extended Drawing TIme (ms) -> 1000"), this);
    group->setAlignment(Qt::AlignHCenter);
    m_slider = new QSlider(Qt::Horizontal, group);
    m_slider->setObjectName(QStringLiteral("ExtendedDrawingTime"));
    m_slider->setFocusPolicy(Qt::StrongFocus);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_slider);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(group);
    layout->addStretch(1);
    layout->addWidget(buttons);
    resize(330, 330);

    OnInitDialog();
}

CSettingsDlg::~CSettingsDlg() = default;

bool CSettingsDlg::OnInitDialog() {
    DoDataExchange(false);
    m_slider->setFocus();
    return true;
}

void CSettingsDlg::DoDataExchange(bool save) {
    if (save) {
        // A failed write is not reported.
        m_settings.WriteExtendedDrawingTime(m_slider->value());
        return;
    }
    m_slider->setRange(kMinTime, kMaxTime);
    m_slider->setTickInterval(kTickStep);
    m_slider->setTickPosition(QSlider::TicksBothSides);
    // The slider keeps the value inside its range: 1500 stored shows as 1000.
    m_slider->setValue(m_settings.ExtendedDrawingTime());
}

void CSettingsDlg::accept() {
    // Also when nothing moved: the shown value replaces one outside the range.
    DoDataExchange(true);
    QDialog::accept();
}


