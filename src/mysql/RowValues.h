#pragma once
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tharvel {

// Where one value of a text row lies in the row buffer.
struct RowValue {
    uint8_t isNull = 0;
    uint32_t offset = 0;
    uint32_t length = 0;
};

// The values of one text row, pointing into the row buffer without copying it.
class RowValues {
public:
    explicit RowValues(size_t columns = 0) : values_(columns) {}

    size_t count() const { return values_.size(); }
    // Walks the row: one length-coded value per column. A length past the end or the
    // prefix 255 raises "Malformed packet" (2027).
    void decode(std::span<const uint8_t> row);

    // A column past the end raises "Malformed packet" (2027).
    const RowValue& at(size_t i) const { return values_[checked(i)]; }
    bool isNull(size_t i) const { return values_[checked(i)].isNull != 0; }
    // Valid until the next read on the connection.
    std::string_view value(size_t i) const {
        const RowValue& b = values_[checked(i)];
        return {reinterpret_cast<const char*>(row_) + b.offset, b.length};
    }

private:
    size_t checked(size_t i) const {
        if (i >= values_.size()) outOfRange();
        return i;
    }
    [[noreturn]] static void outOfRange();

    std::vector<RowValue> values_;
    const uint8_t* row_ = nullptr;
};

}  // namespace tharvel
