// The progress window: its title shows the step running, a strip under it the picture of the
// file in hand (its loudness and where the trim step cut), its list the status lines of every
// file. It is the program's only report; closing it ends the program.
#pragma once

#include <QWidget>

class QListWidget;
class QProgressBar;

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
    // window, a child window of this one, closes with it.
    bool Closed() const { return closed_; }

    LoudnessStrip* picLoudness;
    // Shows the run's progress bar below the log, at `finished` of `total` files. The bar
    // appears with the first run and stays.
    void ShowProgress(size_t finished, size_t total);

    QListWidget* lbxList;
    QProgressBar* barRun;

signals:
    // The window is being closed: a run going on should stop now, lame included.
    void closing();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LayOut();

    bool closed_ = false;
};

}  // namespace varnook::ui
