#include "logging/column_info.h"

#include <algorithm>

namespace velquor {

int InsertColumn(std::vector<CColumnInfo>& columns, IColumnHeader* header, std::int32_t format,
                 int position, const std::string& heading, std::int32_t widthChars, bool flag) {
    const int countBefore = static_cast<int>(columns.size());
    columns.push_back(CColumnInfo{flag, heading, format, widthChars});
    if (header != nullptr)
        return header->InsertItem(position, heading, format, widthChars);
    if (position < 0)
        return -1;
    return std::min(position, countBefore);
}

std::vector<CColumnInfo> BuildLogColumns(bool includeHeader, bool includeIndex,
                                         IColumnHeader* header) {
    std::vector<CColumnInfo> columns;
    if (header != nullptr)
        header->Clear();
    if (!includeHeader)
        return columns;
    int position = 0;
    if (includeIndex)
        InsertColumn(columns, header, kColumnFormatCentre, position++, "#", 5, false);
    for (const char* title : {"dBm", "Watt", "Temp(F/C)", "Time    ", "Date"})
        InsertColumn(columns, header, kColumnFormatCentre, position++, title, 20, false);
    return columns;
}

}  // namespace velquor
