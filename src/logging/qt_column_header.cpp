#include "logging/qt_column_header.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QWidget>

#include <algorithm>

namespace velquor {

namespace {

Qt::Alignment AlignmentOf(std::int32_t format) {
    switch (format & 3) {
        case 1:
            return Qt::AlignRight | Qt::AlignVCenter;
        case 2:
            return Qt::AlignCenter;
        default:
            return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

}  // namespace

CQtColumnHeader::CQtColumnHeader(QHeaderView* header, const QWidget* metricsSource)
    : m_pHeader(header), m_pMetrics(metricsSource) {
    if (header == nullptr)
        return;
    m_pModel = qobject_cast<QStandardItemModel*>(header->model());
    if (m_pModel == nullptr) {
        m_pModel = new QStandardItemModel(header);
        header->setModel(m_pModel);
    }
}

void CQtColumnHeader::Clear() {
    if (m_pModel != nullptr)
        m_pModel->setColumnCount(0);
}

int CQtColumnHeader::InsertItem(int position, const std::string& text, std::int32_t format,
                                std::int32_t widthChars) {
    if (m_pModel == nullptr || m_pHeader == nullptr || position < 0)
        return -1;
    position = std::min(position, m_pModel->columnCount());
    if (!m_pModel->insertColumns(position, 1))
        return -1;
    m_pModel->setHeaderData(position, Qt::Horizontal, QString::fromStdString(text));
    m_pModel->setHeaderData(position, Qt::Horizontal, QVariant::fromValue(AlignmentOf(format)),
                            Qt::TextAlignmentRole);
    const QFontMetrics metrics =
        m_pMetrics != nullptr ? m_pMetrics->fontMetrics() : m_pHeader->fontMetrics();
    m_pHeader->resizeSection(position, metrics.horizontalAdvance(QLatin1Char('X')) * widthChars);
    return position;
}

}  // namespace velquor
