#include <gtest/gtest.h>

#include <string>

#include "core/sync/cloud/CloudRecordCoding.h"

namespace meterwright {
namespace {

CloudRecord sample() {
  CloudRecord record;
  record.recordType = "Envelope";
  record.fields.emplace("sender", std::string("6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"));
  record.fields.emplace("sealed", CloudRecord::Bytes{std::string("\x00\x01\xff", 3)});
  record.fields.emplace("sentAt", dateFromUnixSeconds(1'700'000'000.5));
  record.modifiedAt = dateFromUnixSeconds(1'700'000'001);
  return record;
}

TEST(CloudRecordCodingTest, WritesTheTypedFileFormAndReadsItBack) {
  auto text = CloudRecordCoding::encode(sample());
  EXPECT_EQ(text, R"({"recordType":"Envelope","fields":{"sealed":{"bytes":"AAH/"},)"
                  R"("sender":{"string":"6A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"},)"
                  R"("sentAt":{"date":1700000000.5}},"modifiedAt":1700000001})");
  ASSERT_TRUE(text);
  EXPECT_EQ(CloudRecordCoding::decode(*text), sample());
}

TEST(CloudRecordCodingTest, RefusesAnythingButOneWellFormedRecordWithinTheBound) {
  const char* refused[] = {
      "",
      "[]",
      R"({"recordType":"Envelope","fields":{"s":{"string":"x"}},"modifiedAt":1)",
      R"({"fields":{},"modifiedAt":1})",
      R"({"recordType":"","fields":{},"modifiedAt":1})",
      R"({"recordType":7,"fields":{},"modifiedAt":1})",
      R"({"recordType":"Envelope","fields":[],"modifiedAt":1})",
      R"({"recordType":"Envelope","fields":{}})",
      R"({"recordType":"Envelope","fields":{},"modifiedAt":"yesterday"})",
      R"({"recordType":"Envelope","fields":{"s":"x"},"modifiedAt":1})",
      R"({"recordType":"Envelope","fields":{"s":{}},"modifiedAt":1})",
      R"({"recordType":"Envelope","fields":{"s":{"string":"x","bytes":"AA=="}},"modifiedAt":1})",
      R"({"recordType":"Envelope","fields":{"s":{"string":1}},"modifiedAt":1})",
      R"({"recordType":"Envelope","fields":{"s":{"bytes":"AA"}},"modifiedAt":1})",
      R"({"recordType":"Envelope","fields":{"s":{"date":"1"}},"modifiedAt":1})",
      R"({"recordType":"Envelope","fields":{"s":{"number":1}},"modifiedAt":1})",
  };
  for (const char* text : refused) {
    EXPECT_EQ(CloudRecordCoding::decode(text), std::nullopt) << text;
  }
  auto text = *CloudRecordCoding::encode(sample());
  std::string padded = text + std::string(CloudRecordCoding::maximumBytes - text.size(), ' ');
  EXPECT_TRUE(CloudRecordCoding::decode(padded));
  EXPECT_EQ(CloudRecordCoding::decode(padded + " "), std::nullopt);

  auto huge = sample();
  huge.fields.emplace("big", CloudRecord::Bytes{std::string(CloudRecordCoding::maximumBytes, 'x')});
  EXPECT_EQ(CloudRecordCoding::encode(huge), std::nullopt);
}

}  // namespace
}  // namespace meterwright
