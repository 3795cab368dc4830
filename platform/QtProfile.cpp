#include "platform/QtProfile.h"

#include <QSettings>
#include <QString>

namespace {

QString Key(std::string_view section, std::string_view entry) {
    return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + QLatin1Char('/') +
           QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size()));
}

}  // namespace

CQtProfile::CQtProfile()
    : m_pSettings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                              QStringLiteral("Penvale"), QStringLiteral("Penvale"))) {}

CQtProfile::CQtProfile(const std::string& iniFile)
    : m_pSettings(std::make_unique<QSettings>(QString::fromStdString(iniFile), QSettings::IniFormat)) {}

CQtProfile::~CQtProfile() = default;

int CQtProfile::GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) {
    // Another program may have changed the file since the last read.
    m_pSettings->sync();
    const QVariant value = m_pSettings->value(Key(section, entry));
    if (!value.isValid()) {
        return defaultValue;
    }
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : defaultValue;
}

std::string CQtProfile::GetProfileString(std::string_view section, std::string_view entry,
                                         std::string_view defaultValue) {
    m_pSettings->sync();
    const QVariant value = m_pSettings->value(Key(section, entry));
    if (!value.isValid()) {
        return std::string(defaultValue);
    }
    return value.toString().toStdString();
}

bool CQtProfile::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
    m_pSettings->setValue(Key(section, entry), value);
    m_pSettings->sync();
    return m_pSettings->status() == QSettings::NoError;
}

bool CQtProfile::WriteProfileString(std::string_view section, std::string_view entry, std::string_view value) {
    m_pSettings->setValue(Key(section, entry),
                          QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    m_pSettings->sync();
    return m_pSettings->status() == QSettings::NoError;
}

std::string CQtProfile::FileName() const {
    return m_pSettings->fileName().toStdString();
}
