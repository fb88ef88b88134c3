#include "ui/view_frame_sink.h"

#include <QCoreApplication>

namespace velquor {

void CViewFrameSink::PostFrame(std::uint32_t, std::vector<std::uint8_t> frame) {
    std::lock_guard lock(m_lock);
    if (m_receiver != nullptr)
        QCoreApplication::postEvent(m_receiver, new CMeterFrameEvent(std::move(frame)));
}

void CViewFrameSink::Detach() {
    std::lock_guard lock(m_lock);
    m_receiver = nullptr;
}

}  // namespace velquor
