#pragma once

#include <QEvent>
#include <QObject>
#include <mutex>
#include <vector>

#include "meter/frame_sink.h"

namespace velquor {

// A meter frame carried to the view's thread; each event owns its copy.
class CMeterFrameEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(0x8064);
    explicit CMeterFrameEvent(std::vector<std::uint8_t> frame)
        : QEvent(kType), m_frame(std::move(frame)) {}
    const std::vector<std::uint8_t>& Frame() const { return m_frame; }

private:
    std::vector<std::uint8_t> m_frame;
};

// Posts frames from the link's worker thread to a receiver on the GUI thread.
// Detach() is called before the receiver goes away; after it returns no post
// can reach the receiver.
class CViewFrameSink : public IFrameSink {
public:
    explicit CViewFrameSink(QObject* receiver) : m_receiver(receiver) {}
    void PostFrame(std::uint32_t message, std::vector<std::uint8_t> frame) override;
    void Detach();

private:
    std::mutex m_lock;
    QObject* m_receiver;
};

}  // namespace velquor
