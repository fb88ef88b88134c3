#pragma once

#include <QPointer>

#include "logging/column_info.h"

class QHeaderView;
class QStandardItemModel;
class QWidget;

namespace velquor {

// Mirrors the log's columns in a header view (the view's never-seen m_wndHeader):
// one section per column, its text the heading, its alignment the format, its
// width the letter "X" of metricsSource times the width in characters.
class CQtColumnHeader : public IColumnHeader {
public:
    CQtColumnHeader(QHeaderView* header, const QWidget* metricsSource);

    void Clear() override;
    int InsertItem(int position, const std::string& text, std::int32_t format,
                   std::int32_t widthChars) override;

private:
    QPointer<QHeaderView> m_pHeader;
    QPointer<const QWidget> m_pMetrics;
    QPointer<QStandardItemModel> m_pModel;
};

}  // namespace velquor
