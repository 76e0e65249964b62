// The progress window: its title shows the step running, the strips under it the picture of
// each file in hand (its loudness and where the trim step cut; one strip per job at work, or the
// file chosen in the main window's table), its list the status lines of every file, and a bar at
// the bottom how far the run has got. It is the program's only report; closing it ends the
// program.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <atomic>
#include <optional>
#include <vector>

class QGridLayout;
class QListWidget;
class QProgressBar;

namespace varnook {
struct TrimPicture;
}

namespace varnook::ui {

class LoudnessStrip;

class frmProgress : public QWidget {
    Q_OBJECT

public:
    frmProgress();

    // Appends the line and scrolls so that it is the top visible line, as far as the list can
    // scroll: in a full list the new line shows at the bottom.
    void LogLine(const QString& line);

    // True once the user (or the program) has closed the window; it stays closed. The main
    // window, a child window of this one, closes with it. Asked from any thread.
    bool Closed() const { return closed_; }

    // Shows `picture` in the strip of job `slot` (0 for the first), adding strips up to it.
    void ShowPicture(size_t slot, const TrimPicture& picture);
    // Shows one strip only, with `picture` (a file chosen in the main window).
    void ShowOnlyPicture(const TrimPicture& picture);

    // A run begins: one strip, and the clock of the time left starts at its first progress.
    void StartRun();
    // Shows the run's bar at `finished` of `total` files, with the time left once it can be told:
    // "170 / 1000 · 3:12 left". The time left is worked out from `doneShare` (the share of the
    // run's audio done) when given, else from the files. The bar appears with the first run and
    // stays.
    void ShowProgress(size_t finished, size_t total, std::optional<double> doneShare = std::nullopt);

    // The first strip (the only one but while several jobs work).
    LoudnessStrip* picLoudness;
    QListWidget* lbxList;
    QProgressBar* barRun;

signals:
    // The window is being closed: a run going on should stop now, lame included.
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetStripCount(size_t count);

    std::atomic<bool> closed_ = false;
    bool scrollPending_ = false;
    QWidget* stripsArea_;
    QGridLayout* stripsGrid_;
    std::vector<LoudnessStrip*> strips_;
    QElapsedTimer runClock_;
};

}  // namespace varnook::ui
