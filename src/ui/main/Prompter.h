#pragma once

#include <QString>

class QDialog;
class QWidget;

// Every message box and file dialog of the windows goes through this, so that
// tests can answer them. Information and error boxes have one OK button; a
// confirmation has Yes and No, and only Yes proceeds.
class TPrompter
{
public:
    virtual ~TPrompter() = default;
    virtual void Information(const QString& text) = 0;
    virtual void Error(const QString& text) = 0;
    virtual bool Confirm(const QString& text) = 0;
    // Empty result: cancelled.
    virtual QString OpenFile(const QString& title, const QString& folder,
                             const QString& filter) = 0;
    virtual QString SaveFile(const QString& title, const QString& folder,
                             const QString& filter) = 0;
    // Shows one of the program's own dialogs modally; returns its result.
    virtual int ShowModal(QDialog* dialog);
    // ShowModal, refused (Rejected) while the dialog is still inside an
    // earlier run: closed by one event, asked for again by the next before
    // its own loop has ended.
    int RunModal(QDialog* dialog);
    // True when the dialog ended accepted (through RunModal).
    bool ExecDialog(QDialog* dialog);
};

// The product's prompter: modal message boxes and file dialogs.
class TMessageBoxPrompter : public TPrompter
{
public:
    explicit TMessageBoxPrompter(QWidget* parent = nullptr) : FParent(parent) {}
    void SetParent(QWidget* parent) { FParent = parent; }

    void Information(const QString& text) override;
    void Error(const QString& text) override;
    bool Confirm(const QString& text) override;
    QString OpenFile(const QString& title, const QString& folder, const QString& filter) override;
    QString SaveFile(const QString& title, const QString& folder, const QString& filter) override;

private:
    QWidget* FParent;
};
