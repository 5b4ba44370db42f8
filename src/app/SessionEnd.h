// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace stowmere::app {

/// Turns SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, `kill`, a closed terminal,
/// Ctrl+C in the terminal that started it) into a
/// signal on the user-interface thread, so the program can end as it does at Exit instead
/// of dying with its work unsaved. The handler only writes one byte to a socket pair; the
/// rest happens in the event loop. One instance per process; the handlers it installed are
/// put back when it goes.
class SessionEnd : public QObject {
    Q_OBJECT

public:
    explicit SessionEnd(QObject* parent = nullptr);
    ~SessionEnd() override;
    SessionEnd(const SessionEnd&) = delete;
    SessionEnd& operator=(const SessionEnd&) = delete;

signals:
    /// The session is ending: signalNumber is SIGTERM, SIGHUP or SIGINT.
    void ending(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace stowmere::app
