#pragma once
// A profile file in a fresh temporary folder, removed afterwards.

#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "platform/QtProfile.h"

class CTempProfile {
public:
    CTempProfile() : m_path(m_dir.path().toStdString() + "/Penvale.conf") {}

    // Writes the [Settings] section as an INI file, as a user would by hand.
    void WriteSettings(const std::string& lines) {
        std::ofstream out(m_path);
        out << "[Settings]\n" << lines;
    }
    // Settings for a desktop at address:port.
    void PointAt(const std::string& address, int port) {
        WriteSettings("IP%20Address=" + address + "\nPort=" + std::to_string(port) + "\n");
    }

    const std::string& Path() const { return m_path; }
    std::string Dir() const { return m_dir.path().toStdString(); }

private:
    QTemporaryDir m_dir;
    std::string m_path;
};
