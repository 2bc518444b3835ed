// Tests of the signal classes and the signal-name lookup.
#include "Fsm/FsmSignal.h"
#include "Fsm/SignalNames.h"

#include <gtest/gtest.h>

#include <string>

TEST(SignalName, ANumberWithoutARowGivesItsDecimalText)
{
    const CSignalNameEntry table[] = {{50006, "PZELT_6 "}, {0, "END_OF_TABLE"}};
    char buffer[kSignalNameSize];
    EXPECT_STREQ(FsmSignalName(table, 50006, buffer), "PZELT_6 ");
    EXPECT_STREQ(FsmSignalName(table, 50998, buffer), "50998");
    EXPECT_STREQ(FsmSignalName(table, -7, buffer), "-7");
    EXPECT_STREQ(FsmSignalName(nullptr, 3, buffer), "3");
}

TEST(SignalName, TheFirstMatchingEntryWinsAndTheTerminatorEndsTheWalk)
{
    const CSignalNameEntry table[] = {{7, "first"}, {7, "second"}, {0, "END_OF_TABLE"}, {8, "after end"}};
    char buffer[kSignalNameSize];
    EXPECT_STREQ(FsmSignalName(table, 7, buffer), "first");
    EXPECT_STREQ(FsmSignalName(table, 8, buffer), "8");
}

TEST(CFsmSignal, ConstructionFromANumberHasNoSenderAndIsNotTimed)
{
    CFsmSignal signal(50024);
    EXPECT_EQ(signal.GetNumber(), 50024);
    EXPECT_EQ(signal.GetSender(), nullptr);
    EXPECT_FALSE(signal.IsTimed());
}

TEST(CZeltSignal, CarriesNumberSenderAndItsData)
{
    int sender = 0;
    std::unique_ptr<char[]> data = FsmCopyBytes("abc", 3);
    CZeltSignal signal(57001, &sender, std::move(data), 3);
    EXPECT_EQ(signal.GetNumber(), 57001);
    EXPECT_EQ(signal.GetSender(), &sender);
    ASSERT_NE(signal.GetData(), nullptr);
    EXPECT_EQ(std::string(signal.GetData(), 3), "abc");
    EXPECT_EQ(signal.GetLength(), 3);
    EXPECT_FALSE(signal.IsTimed());
}

TEST(CZeltSignal, CopyOfKeepsItsOwnCopyOfTheBytes)
{
    char bytes[] = {'\xd3', 0, 0x13, '%'};
    auto signal = CZeltSignal::CopyOf(57001, bytes, 4);
    bytes[0] = 'x';
    ASSERT_EQ(signal->GetLength(), 4);
    EXPECT_EQ(std::string(signal->GetData(), 4), std::string("\xd3\0\x13%", 4));
    EXPECT_EQ(signal->GetSender(), nullptr);

    auto empty = CZeltSignal::CopyOf(50015, nullptr, 5);
    EXPECT_EQ(empty->GetData(), nullptr);
    EXPECT_EQ(empty->GetLength(), 0);
}

TEST(CFsmTimeSignal, IsATimedRecordWithNoPeriod)
{
    CFsmTimeSignal timer(FSM_SIG_TIMER, 56101, 1500);
    EXPECT_EQ(timer.GetNumber(), -2);
    EXPECT_EQ(timer.GetTarget(), 56101);
    EXPECT_EQ(timer.GetRemaining(), 1500);
    EXPECT_EQ(timer.GetPeriod(), 0);
    EXPECT_EQ(timer.GetDataLength(), 0);
    EXPECT_EQ(timer.GetData(), nullptr);
    EXPECT_TRUE(timer.IsTimed());
}

TEST(CZeltSignal, MadeFromATimerCopiesItsDataAndIsTimed)
{
    std::unique_ptr<char[]> data = FsmCopyBytes("hi", 2);
    CFsmTimeSignal timer(FSM_SIG_TIMER, 56103, 0, std::move(data), 2);
    CZeltSignal signal(timer);
    EXPECT_EQ(signal.GetNumber(), 56103);
    EXPECT_TRUE(signal.IsTimed());
    ASSERT_EQ(signal.GetLength(), 2);
    EXPECT_NE(signal.GetData(), timer.GetData()) << "a copy, not the timer's buffer";
    EXPECT_EQ(std::string(signal.GetData(), 2), "hi");
}

TEST(CZeltSignal, MadeFromATimerWithoutDataHasNoBufferAndLengthZero)
{
    CFsmTimeSignal timer(FSM_SIG_TIMER, 56101, 0);
    CZeltSignal signal(timer);
    EXPECT_EQ(signal.GetNumber(), 56101);
    EXPECT_EQ(signal.GetData(), nullptr);
    EXPECT_EQ(signal.GetLength(), 0);
    EXPECT_TRUE(signal.IsTimed());
}
