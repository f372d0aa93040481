#include "Prompter.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

void TMessageBoxPrompter::Information(const QString& text)
{
    QMessageBox::information(FParent, QStringLiteral("Information"), text);
}

void TMessageBoxPrompter::Error(const QString& text)
{
    QMessageBox::critical(FParent, QStringLiteral("Error"), text);
}

bool TMessageBoxPrompter::Confirm(const QString& text)
{
    return QMessageBox::question(FParent, QStringLiteral("Confirm"), text,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

QString TMessageBoxPrompter::OpenFile(const QString& title, const QString& folder,
                                      const QString& filter)
{
    return QFileDialog::getOpenFileName(FParent, title, folder, filter);
}

QString TMessageBoxPrompter::SaveFile(const QString& title, const QString& folder,
                                      const QString& filter)
{
    // The caller asks its own question before it overwrites a file.
    return QFileDialog::getSaveFileName(FParent, title, folder, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

int TPrompter::ShowModal(QDialog* dialog)
{
    return dialog->exec();
}

int TPrompter::RunModal(QDialog* dialog)
{
    static constexpr const char* Running = "modalRunning";
    if (dialog->property(Running).toBool()) return QDialog::Rejected;
    QPointer<QDialog> guard(dialog);
    dialog->setProperty(Running, true);
    const int result = ShowModal(dialog);
    if (guard) guard->setProperty(Running, false);
    return result;
}

bool TPrompter::ExecDialog(QDialog* dialog)
{
    return RunModal(dialog) == QDialog::Accepted;
}
