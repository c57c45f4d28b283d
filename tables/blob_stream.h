// TPirinBlobStream: a byte stream over one BLOB field of one record image of
// a table dataset. Making it opens the field's BLOB in the dataset's cursor
// (read, write or read-write; write empties the content), reads and writes
// go at a position of its own, and freeing it releases the BLOB (a BLOB
// written to stays open in the record image until the record is posted or
// cancelled).
//
// A reader whose record was changed by another writer (8708) refreshes the
// dataset and opens once more. Seeking does not check bounds: a read at or
// beyond the end returns 0 bytes.
//
// SplitLines splits a BLOB's text into lines at CR LF, CR or LF; a zero
// byte ends the text.
//
// Ownership: the stream refers to its dataset and field, which outlive it.
// Threads: the dataset's thread. Failures: EDatabaseError "Field %s cannot
// be modified." / "Table is not in edit or insert mode." for writing where
// it is not allowed; EPirinEngineError naming the field for a failed open,
// write, size or truncation, and for a read failure other than the end.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tables/dataset.h"

namespace pirin {

class TPirinDataSet;

enum class TSeekOrigin : std::uint8_t { Beginning, Current, End };

class TPirinBlobStream {
  public:
    TPirinBlobStream(TPirinDataSet& dataSet, const TField& field, TBlobStreamMode mode);
    ~TPirinBlobStream();
    TPirinBlobStream(const TPirinBlobStream&) = delete;
    TPirinBlobStream& operator=(const TPirinBlobStream&) = delete;

    // Bytes read into `destination` (fewer at the end, 0 beyond it).
    std::int32_t Read(std::span<std::uint8_t> destination);
    std::int32_t Write(std::span<const std::uint8_t> source);
    std::int32_t Seek(std::int32_t offset, TSeekOrigin origin);
    std::int32_t Position() const noexcept { return FPosition; }
    std::int32_t Size();
    // Cuts the content at the position.
    void Truncate();
    bool Opened() const noexcept { return FOpened; }

  private:
    [[noreturn]] void RaiseForField(std::uint16_t code) const;

    TPirinDataSet& FDataSet;
    const TField& FField;
    std::span<std::uint8_t> FImage;
    int FFieldNo;
    bool FOpened = false;
    bool FModified = false;
    std::int32_t FPosition = 0;
};

// A BLOB's text split into lines (see above).
std::vector<std::string> SplitLines(std::string text);

}  // namespace pirin
