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

int TScriptedPrompter::ShowModal(QDialog* dialog)
{
    Record(pkDialog, dialog->windowTitle());
    // Tests that drive the dialog itself (clicks during its own event loop)
    // leave OnDialog empty.
    if (!OnDialog) return TPrompter::ShowModal(dialog);
    dialog->setResult(QDialog::Rejected);
    OnDialog(dialog);
    return dialog->result();
}
