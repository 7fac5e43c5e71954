// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "app/messageboxdialogs.h"

#include <QLabel>
#include <QMessageBox>

#include "app/startup.h"

namespace {

// A QMessageBox is announced as an alert by its title alone; its message goes in the
// description so that a screen reader reads it out when the box comes up.
void describeForScreenReaders(QMessageBox& box, const QString& text, const QString& detail) {
    box.setAccessibleName(box.windowTitle());
    box.setAccessibleDescription(detail.isEmpty() ? text : text + u'\n' + detail);
}

}  // namespace

MessageBoxDialogs::MessageBoxDialogs(QWidget* parent) : m_parent(parent) {}

void MessageBoxDialogs::setParentWidget(QWidget* parent) {
    m_parent = parent;
}

void MessageBoxDialogs::message(const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), QString(), QMessageBox::Ok, m_parent);
    // Library reasons are arbitrary text; never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    if (!detail.isEmpty()) {
        box.setInformativeText(detail);
        // The box's text format does not reach its informative label.
        if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
    }
    describeForScreenReaders(box, text, detail);
    box.exec();
}

bool MessageBoxDialogs::confirm(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, QString(), QMessageBox::Ok | QMessageBox::Cancel,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);  // Escape and the close box both cancel
    describeForScreenReaders(box, text, QString());
    return box.exec() == QMessageBox::Ok;
}
