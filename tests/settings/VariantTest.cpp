#include "platform/Variant.h"

#include "platform/Exception.h"

#include <gtest/gtest.h>

namespace {

std::string ConversionMessage(const std::function<void()>& convert) {
    try {
        convert();
    } catch (const EConvertError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(Variant, TextForms) {
    EXPECT_EQ(TVariant().AsString(), "");
    EXPECT_EQ(TVariant::Null().AsString(), "");
    EXPECT_EQ(TVariant(true).AsString(), "True");
    EXPECT_EQ(TVariant(false).AsString(), "False");
    EXPECT_EQ(TVariant(-2147483647 - 1).AsString(), "-2147483648");
    EXPECT_EQ(TVariant(9000000000LL).AsString(), "9000000000");
    EXPECT_EQ(TVariant("x").VarType(), TVarType::String);
    EXPECT_EQ(TVariant(1).VarType(), TVarType::Integer);
    EXPECT_EQ(TVariant(static_cast<short>(1)).VarType(), TVarType::Integer);
    EXPECT_EQ(TVariant(1u).VarType(), TVarType::Int64);
    EXPECT_EQ(TVariant(std::size_t{4000000000}).AsString(), "4000000000");
    EXPECT_TRUE(TVariant::Null().IsNull());
    EXPECT_FALSE(TVariant().IsNull());
    EXPECT_NE(TVariant(1), TVariant("1"));
}

TEST(Variant, TextToNumbersAndBooleans) {
    EXPECT_EQ(TVariant(" -42 ").AsInteger(), -42);
    EXPECT_EQ(TVariant("+7").AsInteger(), 7);
    EXPECT_EQ(TVariant("9000000000").AsInt64(), 9000000000LL);
    EXPECT_EQ(TVariant().AsInteger(), 0);
    EXPECT_EQ(TVariant(true).AsInteger(), 1);
    EXPECT_TRUE(TVariant("TRUE").AsBoolean());
    EXPECT_FALSE(TVariant("false").AsBoolean());
    EXPECT_TRUE(TVariant("-1").AsBoolean());
    EXPECT_FALSE(TVariant("0").AsBoolean());
    EXPECT_TRUE(TVariant(5).AsBoolean());
    EXPECT_FALSE(TVariant().AsBoolean());
}

TEST(Variant, FailedConversionsNameBothTypes) {
    EXPECT_EQ(ConversionMessage([] { TVariant("12px").AsInteger(); }),
              "Could not convert variant of type (String) into type (Integer)");
    EXPECT_EQ(ConversionMessage([] { TVariant("9000000000").AsInteger(); }),
              "Could not convert variant of type (String) into type (Integer)");
    EXPECT_EQ(ConversionMessage([] { TVariant(9000000000LL).AsInteger(); }),
              "Could not convert variant of type (Int64) into type (Integer)");
    EXPECT_EQ(ConversionMessage([] { TVariant("yes").AsBoolean(); }),
              "Could not convert variant of type (String) into type (Boolean)");
    EXPECT_EQ(ConversionMessage([] { TVariant::Null().AsInteger(); }),
              "Could not convert variant of type (Null) into type (Integer)");
    EXPECT_EQ(ConversionMessage([] { TVariant("1 2").AsInt64(); }),
              "Could not convert variant of type (String) into type (Int64)");
}
