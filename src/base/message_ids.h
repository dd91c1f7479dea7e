#pragma once
// Identifiers of the message table (see message_texts.h for the texts).

#include <cstdint>

namespace kel {

// Identifiers of the message table. Entries 0 to 18 are fixed texts (banner,
// bracket words, the location line), 83 to 90 the argument-check phrases; the
// numbered messages keep the order of their numbers.
enum MessageId : std::uint8_t {
  MSG_NOT_FOUND = 0,
  MSG_BANNER = 1,
  MSG_NOTICE = 2,
  MSG_USAGE_SYNTAX = 3,
  MSG_USAGE_BIND = 4,
  MSG_USAGE_CODE = 5,
  MSG_USAGE_FILE = 6,
  MSG_USAGE_BATCH = 7,
  MSG_USAGE_ARGS = 8,
  MSG_USAGE_EXAMPLE1 = 9,
  MSG_USAGE_EXAMPLE2 = 10,
  MSG_EDITION = 11,
  MSG_DEFAULT_PROMPT = 12,
  MSG_WORD_BLOCK = 13,
  MSG_WORD_CALL = 14,
  MSG_WORD_GROUPING = 15,
  MSG_WORD_ARRAY = 16,
  MSG_WORD_CONDITIONAL = 17,
  MSG_LOCATION = 18,
  MSG_0001, MSG_0002, MSG_0003,
  MSG_0100, MSG_0101, MSG_0102, MSG_0103, MSG_0104,
  MSG_1001, MSG_1002, MSG_1003, MSG_1004, MSG_1005, MSG_1006,
  MSG_1101, MSG_1102, MSG_1103, MSG_1104, MSG_1105, MSG_1106,
  MSG_1201, MSG_1202, MSG_1203, MSG_1204, MSG_1205, MSG_1206, MSG_1207, MSG_1208, MSG_1209,
  MSG_1301,
  MSG_1401, MSG_1402, MSG_1403, MSG_1404, MSG_1405,
  MSG_1501, MSG_1502, MSG_1503, MSG_1504, MSG_1505, MSG_1506, MSG_1507, MSG_1508, MSG_1509,
  MSG_1510,
  MSG_1601, MSG_1602, MSG_1603, MSG_1604, MSG_1605, MSG_1606, MSG_1607, MSG_1608, MSG_1609,
  MSG_1610, MSG_1611, MSG_1612,
  MSG_1701, MSG_1702, MSG_1703, MSG_1704, MSG_1705,
  MSG_5001, MSG_5002,
  MSG_CHECK_NOT_ARRAY = 83,
  MSG_CHECK_NUMERIC = 84,
  MSG_CHECK_LONG = 85,
  MSG_CHECK_CHARACTERS = 86,
  MSG_CHECK_ARRAY = 87,
  MSG_CHECK_STRUCT = 88,
  MSG_RESERVED_89 = 89,
  MSG_CHECK_WHOLE = 90,
  MSG_5100, MSG_5101, MSG_5102, MSG_5103, MSG_5104, MSG_5105, MSG_5106, MSG_5107, MSG_5108,
  MSG_5109, MSG_5110, MSG_5111, MSG_5112, MSG_5113, MSG_5114, MSG_5115, MSG_5116, MSG_5117,
  MSG_6001, MSG_6002, MSG_6090,
  MSG_6100, MSG_6101, MSG_6102, MSG_6103,
  MSG_6150, MSG_6151, MSG_6152, MSG_6153, MSG_6154, MSG_6155, MSG_6156,
  MSG_8000,
  // Added after the original table so that every identifier above keeps its place.
  MSG_1007,
  MSG_5118,
  MSG_1008,
  MSG_0004,
  MSG_5119,
  MSG_5120,
  MSG_1009,
  MSG_1010,
  MSG_1011,
  MSG_5121,
  MSG_0105,
  MSG_0106,
  MSG_6103_ANSI,
  MSG_6104,
  MSG_6105,
  MSG_COUNT
};

static_assert(MSG_5002 == 82, "the numbered messages before the check phrases end at 82");
static_assert(MSG_8000 == 123, "the table holds entries 0 to 123");

}  // namespace kel
