#pragma once

#include <QStringList>
#include <QWidget>
#include <deque>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TPrompter;
class TQMCOMControl;
class TTrafficRecorder;

// "Traffic": every frame on the line and every notification of the link, one
// line each (the lines of matrixctl --trace), the last MaxLines of them. The
// view can be paused (lines are still kept), filtered and saved for support.
class TTrafficWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MaxLines = 10000;

    TTrafficWindow(TQMCOMControl* link, TPrompter* prompter, QWidget* parent = nullptr);

    void AddLine(const QString& line);
    // The lines kept, oldest first.
    QStringList Lines() const;
    // The lines the view shows (filter applied).
    QStringList ShownLines() const;
    TTrafficRecorder* Recorder() const { return FRecorder; }
    // Shows the window and brings it to the front.
    void ShowWindow();
    void btnSaveClick();

    // Made when the window is first shown.
    QPlainTextEdit* mmoTraffic = nullptr;
    QLineEdit* edtFilter = nullptr;
    QPushButton* btnPause = nullptr;
    QPushButton* btnClear = nullptr;
    QPushButton* btnSave = nullptr;
    QLabel* lblCount = nullptr;

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Build();
    bool Matches(const QString& line) const;
    void Rebuild();
    void UpdateCount();

    TPrompter* FPrompter;
    TTrafficRecorder* FRecorder;
    std::deque<QString> FLines;
    QString FLastFolder;
};
