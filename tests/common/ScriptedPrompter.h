#pragma once

#include "ui/main/Prompter.h"
#include "ui/main/SerialPortLister.h"

#include <QList>
#include <QStringList>
#include <functional>

// Answers the windows' message boxes and file dialogs from a script and
// records every prompt.
class TScriptedPrompter : public TPrompter
{
public:
    enum TKind { pkInformation, pkError, pkConfirm, pkOpenFile, pkSaveFile, pkDialog };
    struct TPrompt {
        TKind Kind;
        QString Text;
    };

    void Information(const QString& text) override;
    void Error(const QString& text) override;
    bool Confirm(const QString& text) override;
    QString OpenFile(const QString& title, const QString& folder, const QString& filter) override;
    QString SaveFile(const QString& title, const QString& folder, const QString& filter) override;
    // Records the dialog's caption and lets OnDialog fill and end it (as the
    // operator would); returns its result. Without OnDialog the dialog runs
    // for real, for tests that click it during its own wait.
    int ShowModal(QDialog* dialog) override;
    std::function<void(QDialog*)> OnDialog;

    // Answers used in turn; when they run out, DefaultConfirm and empty paths.
    QList<bool> ConfirmAnswers;
    bool DefaultConfirm = false;
    QStringList FileAnswers;
    // Runs inside the prompt, as the modal box would let events run.
    std::function<void(const TPrompt&)> OnPrompt;

    QList<TPrompt> Prompts;
    int Count(TKind kind) const;
    QStringList Texts(TKind kind) const;
    bool Has(TKind kind, const QString& text) const { return Texts(kind).contains(text); }

private:
    void Record(TKind kind, const QString& text);
};

// Serial ports as a test says they are.
class TScriptedPortLister : public TSerialPortLister
{
public:
    QStringList PortNames() override { return Names; }
    QStringList Names;
};
