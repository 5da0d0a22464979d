// Acts on the modal dialog a test opens next. The watch belongs to the test: it ends with the
// object, so a dialog that never showed cannot leave it running into a later test's dialogs, and
// Ran() lets the test fail when its dialog never showed.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace strandel::test {

class ModalScript {
public:
    using Action = std::function<void(QWidget *)>;
    using Match = std::function<bool(QWidget *)>;

    // Runs act once on the first modal widget that match accepts (any, without one).
    explicit ModalScript(Action act, Match match = {}) : act_(std::move(act)), match_(std::move(match))
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    ~ModalScript() { timer_.stop(); }
    ModalScript(const ModalScript &) = delete;
    ModalScript &operator=(const ModalScript &) = delete;

    bool Ran() const { return ran_; }

private:
    void Poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || (match_ && !match_(w)))
            return;
        timer_.stop();
        ran_ = true;
        QPointer<QWidget> alive(w);
        act_(w);
        // A failed assertion inside act must not leave the test waiting on the dialog.
        if (alive && alive->isVisible())
            if (auto *d = qobject_cast<QDialog *>(alive.data()))
                d->done(2); // Cancel's modal result
    }

    Action act_;
    Match match_;
    QTimer timer_;
    bool ran_ = false;
};

} // namespace strandel::test
