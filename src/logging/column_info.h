#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velquor {

// One log column. Only the heading is read back (for the title line); the other
// fields travel with the column.
struct CColumnInfo {
    bool m_bFlag = false;
    std::string m_strHeading;
    std::int32_t m_nFormat = 0;
    std::int32_t m_nWidthChars = 0;
};

// Header alignment format the logger gives every column: centred.
inline constexpr std::int32_t kColumnFormatCentre = 2;

// The header control that mirrors the column list (the view's m_wndHeader).
class IColumnHeader {
public:
    virtual ~IColumnHeader() = default;
    virtual void Clear() = 0;
    // Inserts an item; returns the position the header gave it, or -1.
    virtual int InsertItem(int position, const std::string& text, std::int32_t format,
                           std::int32_t widthChars) = 0;
};

// Appends {flag, heading, format, width} to columns and inserts the matching header
// item. Returns the header's position for the item; without a header, the position
// a header would report (clamped to the end, -1 for a negative position).
int InsertColumn(std::vector<CColumnInfo>& columns, IColumnHeader* header, std::int32_t format,
                 int position, const std::string& heading, std::int32_t widthChars, bool flag);

// The log's columns in file order: empty without the title line, else "#" (only
// with the index), "dBm", "Watt", "Temp(F/C)", "Time    ", "Date".
std::vector<CColumnInfo> BuildLogColumns(bool includeHeader, bool includeIndex,
                                         IColumnHeader* header);

}  // namespace velquor
