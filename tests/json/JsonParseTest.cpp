#include <gtest/gtest.h>
#include "JsonValue.h"
TEST(JsonParse, Smoke) { auto v = JsonValue::Parse(L"{\"b\":1,\"a\":0.3}"); ASSERT_TRUE(v); EXPECT_EQ(v->Serialize(), L"{\"a\":0.3,\"b\":1}"); }
