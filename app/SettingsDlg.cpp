#include "app/SettingsDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QValidator>
#include <QVBoxLayout>

#include "app/Help.h"
#include "settings/DesktopAddress.h"
#include "surface/Commands.h"

namespace {

// Refuses characters no address or host name has; acceptable once complete.
class CAddressValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        const std::string text = input.toStdString();
        if (!pv::desktop::CouldBecomeAddress(text)) {
            return Invalid;
        }
        return pv::desktop::IsValidAddress(text) ? Acceptable : Intermediate;
    }
};

// Digits only, at most five; acceptable from 1 to 65535.
class CPortValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (const QChar c : input) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                return Invalid;
            }
        }
        if (input.size() > 5) {
            return Invalid;
        }
        return pv::desktop::ParsePort(input.toStdString()) != pv::desktop::kNoPort ? Acceptable : Intermediate;
    }
};

}  // namespace

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

    // Where the desktop server is. Without this the file had to be edited by hand.
    auto* desktop = new QGroupBox(QStringLiteral("Desktop"), this);
    m_pAddress = new QLineEdit(desktop);
    m_pAddress->setObjectName(QStringLiteral("DesktopAddress"));
    m_pAddress->setValidator(new CAddressValidator(m_pAddress));
    m_pAddress->setMaxLength(253);
    m_pPort = new QLineEdit(desktop);
    m_pPort->setObjectName(QStringLiteral("DesktopPort"));
    m_pPort->setValidator(new CPortValidator(m_pPort));
    m_pHint = new QLabel(desktop);
    m_pHint->setObjectName(QStringLiteral("DesktopHint"));
    m_pHint->setWordWrap(true);
    auto* desktopLayout = new QFormLayout(desktop);
    desktopLayout->addRow(QStringLiteral("IP address"), m_pAddress);
    desktopLayout->addRow(QStringLiteral("Port"), m_pPort);
    desktopLayout->addRow(m_pHint);
    connect(m_pAddress, &QLineEdit::textChanged, this, [this] { CheckDesktop(); });
    connect(m_pPort, &QLineEdit::textChanged, this, [this] { CheckDesktop(); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_pOk = buttons->button(QDialogButtonBox::Ok);
    m_pOk->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSettingsDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(group);
    layout->addWidget(desktop);
    layout->addStretch(1);
    layout->addWidget(buttons);
    resize(330, 380);

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
        // Written only when changed: a profile without them keeps following the defaults.
        const bool addressChanged = m_pAddress->text() != m_strShownAddress;
        const bool portChanged = m_pPort->text() != m_strShownPort;
        if (addressChanged) {
            m_settings.WriteIpAddress(m_pAddress->text().toStdString());
        }
        if (portChanged) {
            m_settings.WritePort(pv::desktop::ParsePort(m_pPort->text().toStdString()));
        }
        m_bDesktopChanged = addressChanged || portChanged;
        return;
    }
    m_slider->setRange(kMinTime, kMaxTime);
    m_slider->setTickInterval(kTickStep);
    m_slider->setTickPosition(QSlider::TicksBothSides);
    // The slider keeps the value inside its range: 1500 stored shows as 1000.
    m_slider->setValue(m_settings.ExtendedDrawingTime());

    m_strShownAddress = QString::fromStdString(m_settings.IpAddress());
    // A stored port that is no port number shows as it is, and must be mended before OK.
    const int port = m_settings.Port();
    m_strShownPort = QString::fromStdString(port != pv::desktop::kNoPort ? std::to_string(port)
                                                                          : m_settings.PortText());
    m_pAddress->setText(m_strShownAddress);
    m_pPort->setText(m_strShownPort);
    CheckDesktop();
}

void CSettingsDlg::CheckDesktop() {
    const bool addressOk = pv::desktop::IsValidAddress(m_pAddress->text().toStdString());
    const bool portOk = pv::desktop::ParsePort(m_pPort->text().toStdString()) != pv::desktop::kNoPort;
    m_pOk->setEnabled(addressOk && portOk);
    QStringList hints;
    if (!addressOk) {
        hints << QStringLiteral("Enter an IPv4 address or a host name.");
    }
    if (!portOk) {
        hints << QStringLiteral("Enter a port from 1 to 65535.");
    }
    m_pHint->setText(hints.join(QLatin1Char(' ')));
    m_pHint->setVisible(!hints.isEmpty());
}

void CSettingsDlg::accept() {
    // Enter reaches here only through the enabled OK button; this guards any other way.
    if (!m_pOk->isEnabled()) {
        return;
    }
    // Also when nothing moved: the shown value replaces one outside the range.
    DoDataExchange(true);
    QDialog::accept();
}


