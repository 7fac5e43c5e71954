// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <vector>

// A folder holding a "regwise-portd" that is really fakeportd (FAKE_PORTD), its mode file
// and the log of the ports it touched. The helper is also reachable through a symbolic
// link to the folder, and a second place where no helper lies.
class FakeHelperFolder {
public:
    explicit FakeHelperFolder(const char* mode) {
        QFile::copy(QStringLiteral(FAKE_PORTD), helper());
        QFile::link(m_dir.path(), m_dir.filePath(QStringLiteral("link")));
        setMode(mode);
    }
    // Read by each helper started from now on.
    void setMode(const char* mode) const {
        QFile modeFile(m_dir.filePath(QStringLiteral("mode")));
        if (modeFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            modeFile.write(mode);
    }
    // The folder with every symbolic link resolved.
    QString real() const { return QDir(m_dir.path()).canonicalPath(); }
    QString helper() const { return m_dir.filePath(QStringLiteral("regwise-portd")); }
    std::string path() const { return helper().toStdString(); }
    std::vector<std::string> places() const {
        return {(real() + QStringLiteral("/link/regwise-portd")).toStdString(),
                (real() + QStringLiteral("/elsewhere/regwise-portd")).toStdString()};
    }
    // Each access as "R|W port value", in hexadecimal.
    QStringList accesses() const {
        QFile file(m_dir.filePath(QStringLiteral("accesses")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    void forgetAccesses() const { QFile::remove(m_dir.filePath(QStringLiteral("accesses"))); }

private:
    QTemporaryDir m_dir;
};
