#include "ScriptedPrompter.h"

#include <QDialog>

void TScriptedPrompter::Record(TKind kind, const QString& text)
{
    Prompts << TPrompt{kind, text};
    if (OnPrompt) OnPrompt(Prompts.last());
}

void TScriptedPrompter::Information(const QString& text)
{
    Record(pkInformation, text);
}
void TScriptedPrompter::Error(const QString& text)
{
    Record(pkError, text);
}

bool TScriptedPrompter::Confirm(const QString& text)
{
    Record(pkConfirm, text);
    return ConfirmAnswers.isEmpty() ? DefaultConfirm : ConfirmAnswers.takeFirst();
}

QString TScriptedPrompter::OpenFile(const QString& title, const QString&, const QString&)
{
    Record(pkOpenFile, title);
    return FileAnswers.isEmpty() ? QString() : FileAnswers.takeFirst();
}

QString TScriptedPrompter::SaveFile(const QString& title, const QString&, const QString&)
{
    Record(pkSaveFile, title);
    return FileAnswers.isEmpty() ? QString() : FileAnswers.takeFirst();
}

int TScriptedPrompter::Count(TKind kind) const
{
    return int(Texts(kind).size());
}

QStringList TScriptedPrompter::Texts(TKind kind) const
{
    QStringList texts;
    for (const TPrompt& p : Prompts)
        if (p.Kind == kind) texts << p.Text;
    return texts;
}

bool TScriptedPrompter::ExecDialog(QDialog* dialog)
{
    Record(pkDialog, dialog->windowTitle());
    dialog->setResult(QDialog::Rejected);
    if (OnDialog) OnDialog(dialog);
    return dialog->result() == QDialog::Accepted;
}
