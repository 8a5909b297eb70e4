// The price alarm headless: when timer 1 sounds it, the order of sound, timers
// and message, and switching it off.
#include "tests/client/suspend_fixture.h"

namespace {

class AlarmTest : public SuspendTest {
 protected:
  void SetUp() override {
    SuspendTest::SetUp();
    RegisterClientResources();  // the application's name too
    // Every alarm message is answered at once unless a test sets its own handler.
    HeadlessSetMessageBoxHandler([](const HeadlessMessageBox &) { return IDOK; });
  }

  void SetThresholds(const wchar_t *a, const wchar_t *b) {
    HeadlessPasteText(PanelEdit(IDC_ALARM_A), a);
    HeadlessPasteText(PanelEdit(IDC_ALARM_B), b);
  }
  void AlarmOn() {
    float_->SendMessage(WM_COMMAND, ID_MENU_ALARM, 0);
    ASSERT_TRUE(float_->m_bAlarm);
  }
  int AlarmMessages() const {
    int n = 0;
    for (const HeadlessMessageBox &b : HeadlessMessageBoxes()) n += b.text == CSUSPENDDLG::kAlarmMessage;
    return n;
  }
  // The sound among the program's resources (the fixture's resource folder).
  static std::wstring SoundPath() { return TICKORA_SOURCE_DIR L"/client/res/air.WAV"; }
};

TEST_F(AlarmTest, OffNeverAlarms) {
  SetThresholds(L"1", L"1");
  SetRecord(L"3500", L"500", L"", L"");
  HeadlessAdvanceClock(15000);
  EXPECT_EQ(AlarmMessages(), 0);
  EXPECT_TRUE(HeadlessSoundLog().empty());
}

// Price A is checked against the first threshold, price B against the second; only
// a price above its threshold as a number alarms.
TEST_F(AlarmTest, PriceAboveThresholdAsNumberAlarms) {
  struct Case {
    const wchar_t *thresholdA, *priceA, *thresholdB, *priceB;
    int messages;
  } cases[] = {
      {L"", L"3500", L"", L"500", 0},          // empty thresholds
      {L"", L"3500", L"9000", L"10000.5", 1},  // 10000.5 is above 9000
      {L"", L"3500", L"500", L"501.25", 1},   {L"3500", L"3500.5", L"", L"500", 1},
      {L"3500.5", L"3500", L"", L"500", 0},   // below
      {L"3500", L"3500", L"500", L"500", 0},  // equal
      {L"abc", L"3500", L"", L"500", 0},      // pasted text that is no number
      {L"100", L"", L"100", L"n/a", 0},       // prices that are no numbers
      {L"3000", L"3500", L"400", L"500", 2},  // both: two messages in a row
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "A " << c.priceA << " > " << c.thresholdA << ", B " << c.priceB << " > "
                                    << c.thresholdB);
    TearDown();  // a fresh floating window for each case
    SetUp();
    AlarmOn();
    SetThresholds(c.thresholdA, c.thresholdB);
    SetRecord(c.priceA, c.priceB, L"", L"");
    HeadlessAdvanceClock(5000);
    EXPECT_EQ(AlarmMessages(), c.messages);
    EXPECT_EQ(HeadlessSoundLog().size(), (size_t)c.messages);
  }
}

TEST_F(AlarmTest, SoundRepeatsWhileMessageOpenAndTimersSwapAround) {
  AlarmOn();
  SetThresholds(L"", L"9000");
  SetRecord(L"1", L"10000.5", L"", L"");

  int boxes = 0;
  size_t soundsWhenShown = 0, soundsWhenClosed = 0;
  bool refreshStopped = false, replayRunning = false;
  std::wstring labelDuringBox;
  HeadlessSetMessageBoxHandler([&](const HeadlessMessageBox &box) {
    ++boxes;
    EXPECT_EQ(box.type & MB_TYPEMASK, (UINT)MB_OK);
    soundsWhenShown = HeadlessSoundLog().size();
    refreshStopped = !HeadlessTimerPeriod(Float(), 1).has_value();
    replayRunning = HeadlessTimerPeriod(Float(), 2) == std::optional<UINT>(5000);
    // New quotes arrive while the message is open: the labels wait.
    SetRecord(L"2", L"8000", L"", L"");
    HeadlessAdvanceClock(15000);
    labelDuringBox = Label(IDC_PRICE_B);
    soundsWhenClosed = HeadlessSoundLog().size();
    return IDOK;
  });
  HeadlessAdvanceClock(5000);

  ASSERT_EQ(boxes, 1);
  EXPECT_EQ(HeadlessMessageBoxes().back().text, CSUSPENDDLG::kAlarmMessage);
  EXPECT_EQ(HeadlessMessageBoxes().back().caption, L"Tickora");  // the program's name, not its file's
  EXPECT_EQ(soundsWhenShown, 1u);                                // the sound starts before the message
  EXPECT_EQ(soundsWhenClosed, 4u);                               // and repeats every 5000 ms while it is open
  EXPECT_TRUE(refreshStopped);
  EXPECT_TRUE(replayRunning);
  EXPECT_EQ(labelDuringBox, L"10000.5");
  for (const SoundLogEntry &s : HeadlessSoundLog()) {
    EXPECT_EQ(s.sound, SoundPath());
    EXPECT_EQ(s.flags, (DWORD)SND_ASYNC);
  }

  // Closed: timer 2 stops, timer 1 runs again and refreshes; 8000 is below 9000.
  EXPECT_FALSE(HeadlessTimerPeriod(Float(), 2).has_value());
  EXPECT_EQ(HeadlessTimerPeriod(Float(), 1), std::optional<UINT>(5000));
  HeadlessAdvanceClock(5000);
  EXPECT_EQ(Label(IDC_PRICE_B), L"8000");
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(HeadlessSoundLog().size(), 4u);
}

TEST_F(AlarmTest, SecondCheckReadsThePriceAfterTheFirstMessage) {
  AlarmOn();
  SetThresholds(L"100", L"100");
  SetRecord(L"200", L"200", L"", L"");
  HeadlessSetMessageBoxHandler([&](const HeadlessMessageBox &) {
    SetRecord(L"200", L"50", L"", L"");  // price B falls while the first message is open
    return IDOK;
  });
  HeadlessAdvanceClock(5000);
  EXPECT_EQ(AlarmMessages(), 1);
}

TEST_F(AlarmTest, SwitchingOffStopsTheSound) {
  AlarmOn();
  float_->SendMessage(WM_COMMAND, ID_MENU_ALARM, 0);
  EXPECT_FALSE(float_->m_bAlarm);
  const std::vector<SoundLogEntry> log = HeadlessSoundLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log[0].nullSound);
  EXPECT_EQ(log[0].flags, (DWORD)SND_FILENAME);
  EXPECT_EQ(log[0].request.kind, SoundRequest::kStop);
}

}  // namespace
