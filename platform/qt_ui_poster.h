// Posts work to the user interface thread as a queued call on a receiver;
// calls still queued when the receiver is destroyed are dropped.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include "common/ui_poster.h"

class QtUiPoster : public UiPoster {
 public:
  explicit QtUiPoster(QObject* receiver) : receiver_(receiver) {}
  void Post(std::function<void()> work) override {
    QMetaObject::invokeMethod(receiver_, std::move(work), Qt::QueuedConnection);
  }

 private:
  QObject* receiver_;
};
