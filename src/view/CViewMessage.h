#pragma once
// A message posted to the main view: a QEvent whose type is the message value, with the two
// parameters of the message. A reply text travels in the event itself, so that it belongs to
// the view from the moment it is posted and is released with the event in every case.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <cstdint>
#include <string>

class CViewMessage : public QEvent {
public:
    CViewMessage(int message, uint32_t wParam = 0, std::string text = {}, int64_t lParam = 0)
        : QEvent(static_cast<QEvent::Type>(message)),
          m_wParam(wParam),
          m_lParam(lParam),
          m_text(std::move(text)) {}

    int Message() const { return static_cast<int>(type()); }

    uint32_t m_wParam;
    int64_t m_lParam;    // a number (the tray's mouse message)
    std::string m_text;  // a reply text or a message to show
};

// Posts a message to a receiver; safe from any thread.
inline void PostViewMessage(QObject* receiver, int message, uint32_t wParam = 0,
                            std::string text = {}, int64_t lParam = 0) {
    QCoreApplication::postEvent(receiver,
                                new CViewMessage(message, wParam, std::move(text), lParam));
}
