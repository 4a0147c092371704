#pragma once
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tharvel {

// Where one value of a text row lies in the row buffer.
struct TMySqlBind {
    uint8_t IsNull = 0;
    uint32_t Offset = 0;
    uint32_t Length = 0;
    uint8_t Type = 0;
};

// The values of one text row, pointing into the row buffer without copying it.
class TMySqlBinds {
public:
    explicit TMySqlBinds(size_t columns = 0) : binds_(columns) {}

    size_t Count() const { return binds_.size(); }
    void SetType(size_t i, uint8_t type) { binds_[i].Type = type; }
    // Walks the row: one length-coded value per column. A length past the end or the
    // prefix 255 raises "Malformed packet" (2027).
    void Decode(std::span<const uint8_t> row);

    // A column past the end raises "Malformed packet" (2027).
    const TMySqlBind& Bind(size_t i) const { return binds_[checked(i)]; }
    bool IsNull(size_t i) const { return binds_[checked(i)].IsNull != 0; }
    // Valid until the next read on the connection.
    std::string_view Value(size_t i) const {
        const TMySqlBind& b = binds_[checked(i)];
        return {reinterpret_cast<const char*>(row_) + b.Offset, b.Length};
    }
    const uint8_t* Row() const { return row_; }

private:
    size_t checked(size_t i) const {
        if (i >= binds_.size()) outOfRange();
        return i;
    }
    [[noreturn]] static void outOfRange();

    std::vector<TMySqlBind> binds_;
    const uint8_t* row_ = nullptr;
};

}  // namespace tharvel
