// A capture notice carried across threads to a window's own thread: the
// message, wParam and lParam a wave-input callback posted.
#pragma once

#include <QEvent>
#include <cstdint>

class NoticeEvent : public QEvent {
 public:
  static QEvent::Type Kind() {
    static const QEvent::Type kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  NoticeEvent(uint32_t message, uintptr_t wParam, intptr_t lParam)
      : QEvent(Kind()), message(message), wParam(wParam), lParam(lParam) {}
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};
