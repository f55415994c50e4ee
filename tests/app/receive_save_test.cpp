// Receiving into the pane, saving and clearing.
#include <fstream>

#include "app_fixture.h"

using namespace platform;
using talvik_test::AppTest;
using talvik_test::PumpUntil;
namespace fs = std::filesystem;

namespace {
std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}
std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
}  // namespace

class ReceiveTest : public AppTest {
 protected:
  // Delivers one chunk through the device, the monitor thread and the hand-over.
  void Chunk(const std::string& bytes) {
    ASSERT_TRUE(sim.AwaitPendingWait());
    int waits = sim.WaitCount();
    if (bytes.empty())
      sim.CompleteWait(EV_RXCHAR);  // reported, but already gone when read
    else
      sim.Receive(bytes);
    ASSERT_TRUE(PumpUntil([&] { return sim.WaitCount() > waits; }));
  }
  void SetUp() override {
    AppTest::SetUp();
    dir = fs::temp_directory_path() / ("talvik-app-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "bin");
    system.exe = (dir / "bin" / "talvik").string();
    cwd = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(cwd);
    fs::remove_all(dir);
    AppTest::TearDown();
  }
  fs::path dir, cwd;
};

TEST_F(ReceiveTest, ChunksBecomeThePanesBytes) {
  struct Case {
    bool crlf;
    std::vector<std::string> chunks;
    std::string pane;
  } cases[] = {
      {true, {"12.5\r"}, "12,5\r\n"},
      {false, {"12.5\r"}, "12,5\r"},
      {true, {"1.0\r\n"}, "1,0\r\n"},
      {true, {"a\r", "\nb"}, "a\r\n\nb"},  // the device's own LF stays a lone LF
      {true, {"x\ry"}, "x\ry"},
      {false, {"...", ",,"}, ",,,,,"},
      {true, {"", "z"}, "z"},
      {false, {Bytes({'1', 0, '2', '.', 0})}, Bytes({'1', 0, '2', ',', 0})},  // every byte kept
      {false, {Bytes({0x80, 0xC0, 0xFF, 0xA8})}, Bytes({0x80, 0xC0, 0xFF, 0xA8})},
  };
  Connect();
  for (auto& c : cases) {
    User([&] { form->BitBtnCLR->Click(); });
    form->cbCRLF->SetChecked(c.crlf);
    for (auto& chunk : c.chunks) Chunk(chunk);
    EXPECT_EQ(form->Memo1->Text(), c.pane);
  }
  EXPECT_TRUE(boxes.empty());
  Disconnect();
}

TEST_F(ReceiveTest, SaveWritesThePanesBytesToAStampedFileInTheProgramsFolder) {
  Connect();
  User([&] { form->BitBtnCLR->Click(); });
  User([&] { form->BitBtn2Save->Click(); });
  EXPECT_EQ(boxes, std::vector<std::string>{"Нет данных"});
  EXPECT_EQ(captions, std::vector<std::string>{"Talvik"});
  EXPECT_EQ(form->Edit3->Text(), "19_06_06 09.55.03");
  EXPECT_TRUE(fs::is_empty(dir / "bin"));
  EXPECT_EQ(fs::current_path(), cwd);  // the current directory is not touched
  boxes.clear();

  std::string received = Bytes({'1', '2', ',', '5', ' ', 0xE3, '\r', '\n', 'x'});
  Chunk("12.5 \xE3\r\nx");
  User([&] { form->BitBtn2Save->Click(); });
  EXPECT_TRUE(boxes.empty());
  fs::path first = dir / "bin" / "19_06_06 09.55.03.txt";
  EXPECT_EQ(ReadFile(first), received);
  EXPECT_EQ(form->Memo1->Text(), "");
  EXPECT_EQ(fs::current_path(), dir / "bin");

  // A pane holding only CR LF saves those two bytes; a second save in the same second
  // keeps the first file.
  Chunk("\r\n");
  User([&] { form->BitBtn2Save->Click(); });
  EXPECT_EQ(ReadFile(first), received);
  EXPECT_EQ(ReadFile(dir / "bin" / "19_06_06 09.55.03 (2).txt"), "\r\n");
  Disconnect();
}

TEST_F(ReceiveTest, SaveFailuresKeepThePane) {
  Connect();
  Chunk("keep");
  struct Case {
    std::string exe;
    std::string box;
  } cases[] = {
      // A folder where no file can be created, whoever runs the program.
      {"/proc/talvik", "Cannot create file \"/proc/19_06_06 09.55.03.txt\". "},
      {(dir / "gone" / "talvik").string(), "File not found."},
  };
  for (auto& c : cases) {
    boxes.clear();
    system.exe = c.exe;
    User([&] { form->BitBtn2Save->Click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(c.box, 0), 0u) << boxes[0];
    EXPECT_EQ(form->Memo1->Text(), "keep");
  }
  Disconnect();
}
