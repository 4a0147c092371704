#include "mysql/RowValues.h"

#include "mysql/MySqlError.h"
#include "mysql/PacketReader.h"

namespace tharvel {

void RowValues::outOfRange() {
    throw MySqlError::malformed("A value past the end of the row was read");
}

void RowValues::decode(std::span<const uint8_t> row) {
    size_t pos = 0;
    for (RowValue& v : values_) {
        std::optional<uint64_t> length = PacketReader::lengthCodedAt(row, pos);
        v.isNull = !length;
        v.offset = static_cast<uint32_t>(pos);
        v.length = 0;
        if (!length) continue;
        if (*length > row.size() - pos) throw MySqlError::malformed();
        v.length = static_cast<uint32_t>(*length);
        pos += *length;
    }
    row_ = row.data();
}

}  // namespace tharvel
