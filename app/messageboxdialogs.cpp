#include "messageboxdialogs.h"

#include <QMessageBox>

#include "startup.h"

MessageBoxDialogs::MessageBoxDialogs(QWidget* parent) : m_parent(parent) {}

void MessageBoxDialogs::setParentWidget(QWidget* parent) {
    m_parent = parent;
}

void MessageBoxDialogs::message(const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), QString(), QMessageBox::Ok, m_parent);
    // Library reasons are arbitrary text; never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    if (!detail.isEmpty())
        box.setInformativeText(detail);
    box.exec();
}

bool MessageBoxDialogs::confirm(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, QString(), QMessageBox::Ok | QMessageBox::Cancel,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);  // Escape and the close box both cancel
    return box.exec() == QMessageBox::Ok;
}
