// Closures handed to the GUI thread from any thread, run there one by one in
// the order they were handed over.
//
// A closure never travels inside Qt's event queue: it waits in a queue of
// this object, guarded by a mutex, and only a wake-up that carries nothing
// (a queued call of runOne by name) goes through Qt. The hand-over of the
// closure and of everything it captured is thus ordered by the mutex, where
// both the program and the race checker see it. One wake-up per closure keeps
// the order in which Qt delivers posted calls across objects. Closures not
// yet run when this object ends are dropped with it.
#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

namespace plinka::gui {

class GuiHandOff : public QObject {
  Q_OBJECT

public:
  // Made on the GUI thread: the wake-ups are delivered on the thread that
  // made it.
  explicit GuiHandOff(QObject* parent = nullptr);

  // Queues `body` and posts one wake-up. Any thread.
  void post(std::function<void()> body);

private:
  // Runs the closure at the front of the queue. GUI thread, once per post.
  Q_INVOKABLE void runOne();

  // Written by post (any thread) and runOne (GUI thread), under mutex_.
  std::mutex mutex_;
  std::deque<std::function<void()>> waiting_;
};

}  // namespace plinka::gui
