// The compact BER codec for the SNMPv1 part of a frame: single-byte tags,
// definite lengths, 32-bit integers, OIDs of up to ImcOidCapacity
// sub-identifiers.
//
// Readers parse forwards and return ImcErrNone or ImcErrMalformed; a length
// never reaches past the buffer's limit, so a reader that works inside a
// sub-span (ImcBufferEnter) cannot leave it. Writers run back to front (each
// item's content first, then its header) and return ImcErrNone, or
// ImcErrEncode when the item does not fit.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "imc/ImcBuffer.h"
#include "imc/ImcOid.h"

namespace holv {

int ImcBerReadTag(ImcBuffer& buffer, uint8_t& tag);
// A length larger than the bytes remaining after it is malformed.
int ImcBerReadLength(ImcBuffer& buffer, int& length);
int ImcBerReadHeader(ImcBuffer& buffer, uint8_t& tag, int& length);
// The value after the tag: length and content. Length 0 gives 0; of a longer
// content only the last four bytes count.
int ImcBerReadInteger(ImcBuffer& buffer, int32_t& value);
int ImcBerReadString(ImcBuffer& buffer, std::vector<uint8_t>& bytes);
int ImcBerReadString(ImcBuffer& buffer, std::string& text);
// Malformed: length 0, more than ImcOidCapacity sub-identifiers, a
// sub-identifier beyond 32 bits or cut off by the end of the content.
int ImcBerReadOid(ImcBuffer& buffer, ImcOid& oid);

int ImcBerWriteHeader(ImcBuffer& buffer, uint8_t tag, int length);
// Minimal two's complement of the signed 32-bit value.
int ImcBerWriteInteger(ImcBuffer& buffer, uint8_t tag, int32_t value);
int ImcBerWriteString(ImcBuffer& buffer, uint8_t tag, const void* bytes, int length);
// ImcErrMalformed for fewer than 2 sub-identifiers, or a first pair that does
// not fit in 32 bits once combined.
int ImcBerWriteOid(ImcBuffer& buffer, const ImcOid& oid);

}  // namespace holv
