// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

// A sysfs tree of serial ports in a temporary folder, written from lines such as
//   "ttyS4 type=4 io_type=0 port=0xC000 irq=17"
// Each word after the entry's name is one attribute file holding the text after "=" and a
// line feed. A value of <fifo>, <dir> or <link> makes that attribute a named pipe, a folder
// or a symbolic link to a file that holds a good value. active, unless null, is written to
// class/tty/console/active.
class SysfsTree {
public:
    SysfsTree(const QStringList& entries, const QString& active) {
        if (!m_folder.isValid())
            return;
        const QString ttys = root() + QStringLiteral("/class/tty/");
        m_ok = QDir().mkpath(ttys);
        for (const QString& line : entries) {
            const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const QString entry = ttys + words.value(0);
            m_ok = m_ok && QDir().mkpath(entry);
            for (qsizetype i = 1; i < words.size(); ++i) {
                const QString name = words[i].section(QLatin1Char('='), 0, 0);
                const QString value = words[i].section(QLatin1Char('='), 1);
                m_ok = m_ok && attribute(entry + QLatin1Char('/') + name, value);
            }
        }
        if (!active.isNull()) {
            m_ok = m_ok && QDir().mkpath(ttys + QStringLiteral("console")) &&
                   write(ttys + QStringLiteral("console/active"), active + QLatin1Char('\n'));
        }
    }

    bool ok() const { return m_ok; }
    QString root() const { return m_folder.path(); }

private:
    bool attribute(const QString& path, const QString& value) {
        if (value == QLatin1String("<fifo>"))
            return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
        if (value == QLatin1String("<dir>"))
            return QDir().mkpath(path);
        if (value == QLatin1String("<link>")) {
            const QString target = root() + QStringLiteral("/link-target");
            return write(target, QStringLiteral("0xC000\n")) && QFile::link(target, path);
        }
        return write(path, value + QLatin1Char('\n'));
    }

    static bool write(const QString& path, const QString& text) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
    }

    QTemporaryDir m_folder;
    bool m_ok = false;
};
