#pragma once

#include "platform/UserInterface.h"

#include <QStringList>
#include <QWidget>

#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace turnpost {

/// The status window of a send run or a report mail: status text, a bar with the percentage in
/// the caption, and Cancel. It floats over its owner without taking the focus, never closes itself,
/// and remembers a Cancel until it is destroyed. Below the status it lists the latest players' results.
class CProgressWindow : public QWidget, public IProgressWindow
{
    Q_OBJECT
public:
    CProgressWindow(QWidget* owner, const std::string& title);

    void SetRange(int upperBound, int step) override;
    void SetText(const std::string& text) override;
    void Finish(const std::string& text) override;
    int StepIt() override;
    int SetPos(int position) override;
    void PumpMessages() override;
    void PumpFor(int milliseconds) override;
    bool IsCancelled() const override { return m_Cancelled; }
    /// Lists the line under the status, the latest last, as many as the status has room for. Players
    /// skipped one after another share one line, so they do not push the results out of sight.
    void ShowResult(const std::string& line) override;
    /// Runs the work on a worker thread and handles events until it has ended.
    void RunWork(const std::function<void()>& work) override;

    /// The longest status text shown; longer ones are cut at a character boundary.
    static constexpr std::size_t MaxTextLength = 511;
    static constexpr int StatusLines = 4;

signals:
    void Cancelled();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnCancel();
    void LayOut(int statusLines, int statusWidth);
    void CentreOverOwner(QWidget* owner);
    void ShowStatus();

    QString m_Title;
    QString m_StatusText;
    QStringList m_Results; ///< the latest outcome lines, oldest first
    bool m_Cancelled = false;
    bool m_Finishing = false; ///< past the last player: Cancel has nothing left to stop
    int m_Position = 0;
    int m_LastPercentage = 0;
    int m_Step = 1;
    int m_UpperBound = 100;
    QLabel* m_Status;
    QProgressBar* m_Bar;
    QPushButton* m_CancelButton;
};

} // namespace turnpost
