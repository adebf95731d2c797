// Self-registration: the values, the registry file format with hostile contents, and the file
// store behind DllRegisterServer / DllUnregisterServer.
#include "frame/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "frame/descriptor.h"
#include "frame/registry_file.h"
#include "tests/temp_dir.h"

namespace wq::frame {
namespace {

namespace fs = std::filesystem;

const std::vector<RegistryValue>& Ours() {
  static const auto values = RegistrationValues(u"/opt/wq/WebQuorrel.so", u"linux64");
  return values;
}

std::string Register(std::string_view text) { return UpdateRegistryText(text, Ours(), true); }
std::string Unregister(std::string_view text) { return UpdateRegistryText(text, Ours(), false); }

TEST(RegistrationValues, NameTheClassItsServerAndItsTypeLibrary) {
  EXPECT_EQ(GuidText(kClsidQuorrel), u"{166548CF-3B83-4029-B99D-9499488860C3}");
  auto find = [](const Text& key, const Text& name = {}) -> Text {
    for (const auto& v : Ours()) {
      if (v.key == key && v.name == name) return v.data;
    }
    return u"<missing>";
  };
  const Text clsid = GuidText(kClsidQuorrel);
  const Text libid = GuidText(kLibraryId);
  EXPECT_EQ(find(u"webQuorrel.clsQuorrel\\CLSID"), clsid);
  EXPECT_EQ(find(u"CLSID\\" + clsid + u"\\InprocServer32"), u"/opt/wq/WebQuorrel.so");
  EXPECT_EQ(find(u"CLSID\\" + clsid + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
  EXPECT_EQ(find(u"CLSID\\" + clsid + u"\\ProgID"), u"webQuorrel.clsQuorrel");
  EXPECT_EQ(find(u"CLSID\\" + clsid + u"\\TypeLib"), libid);
  EXPECT_EQ(find(u"Interface\\" + GuidText(kIidQuorrel)), u"_clsQuorrel");
  EXPECT_EQ(find(u"Interface\\" + GuidText(kIidQuorrel) + u"\\TypeLib", u"Version"), u"1.0");
  EXPECT_EQ(find(u"TypeLib\\" + libid + u"\\1.0"), u"webQuorrel");
  EXPECT_EQ(find(u"TypeLib\\" + libid + u"\\1.0\\0\\linux64"), u"/opt/wq/WebQuorrel.so");
  for (const auto& v : Ours()) EXPECT_TRUE(IsStorable(v)) << ToUtf8(v.key);
}

TEST(RegistryFile, RegisterIsIdempotentAndUnregisterRestoresTheRest) {
  const std::string foreign =
      "# my notes\r\n"
      "HKCR\\Other.Thing\\CLSID = {00000000-0000-0000-0000-000000000001}\n"
      "\n"
      "HKCR\\webQuorrel.clsQuorrelX\\CLSID = similar but not ours\n"
      "HKCR\\CLSID\\{166548CF-3B83-4029-B99D-9499488860C3}\\Implemented Categories = kept\n"
      "not a value line = at all\n"
      "HKCR\\webQuorrel.clsQuorrel\\CLSID @Other = a named value that is not ours\n"
      "binary \xff\xfe and NUL \0 survive\n"
      "last line without a break";
  const std::string text(foreign.data(), foreign.size());
  const std::string once = Register(text);
  EXPECT_EQ(Register(once), once);
  EXPECT_NE(once.find("HKCR\\webQuorrel.clsQuorrel\\CLSID = {166548CF-3B83-4029-B99D-"
                      "9499488860C3}\n"),
            std::string::npos);
  EXPECT_NE(once.find("\\InprocServer32 @ThreadingModel = Apartment\n"), std::string::npos);
  // Everything foreign comes back byte for byte.
  EXPECT_EQ(Unregister(once), text + "\n");
  EXPECT_EQ(Unregister(text), text);

  // A file that starts empty gets a header that explains the format, and nothing else is left
  // after unregistering but that header.
  const std::string fresh = Register("");
  EXPECT_EQ(fresh.rfind("# webQuorrel registry", 0), 0u);
  const std::string left = Unregister(fresh);
  EXPECT_EQ(left.rfind("# ", 0), 0u);
  EXPECT_EQ(left.find("\nHKCR"), std::string::npos);
}

TEST(RegistryFile, StaleAndDifferentlyCasedEntriesAreReplaced) {
  const std::string stale =
      "hkcr\\WEBQUORREL.CLSQUORREL\\clsid = {11111111-1111-1111-1111-111111111111}\n"
      "HKCR\\CLSID\\{166548cf-3b83-4029-b99d-9499488860c3}\\InprocServer32 = /old/path.so\r\n"
      "HKCR\\CLSID\\{166548CF-3B83-4029-B99D-9499488860C3}\\InprocServer32 @threadingmodel = Free\n"
      "HKCR\\TypeLib\\{F3B51D76-B208-4772-A774-32ABC1C3DC0D}\\1.0\\HELPDIR =\n";
  const std::string registered = Register(stale);
  EXPECT_EQ(registered.find("1111"), std::string::npos);
  EXPECT_EQ(registered.find("/old/path.so"), std::string::npos);
  EXPECT_EQ(registered.find("Free"), std::string::npos);
  EXPECT_EQ(Unregister(stale), "");
}

TEST(RegistryFile, HostileLines) {
  EXPECT_FALSE(ParseRegistryLine(""));
  EXPECT_FALSE(ParseRegistryLine("HKCR\\"));
  EXPECT_FALSE(ParseRegistryLine("HKCR\\ = x"));
  EXPECT_FALSE(ParseRegistryLine("HKCR\\key=value"));
  EXPECT_FALSE(ParseRegistryLine("HKLM\\key = value"));
  EXPECT_FALSE(ParseRegistryLine(" HKCR\\key = value"));
  const auto empty = ParseRegistryLine("HKCR\\a\\b =");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->key, "a\\b");
  EXPECT_EQ(empty->data, "");
  const auto named = ParseRegistryLine("HKCR\\a @n @m = x = y\r");
  ASSERT_TRUE(named);
  EXPECT_EQ(named->key, "a");
  EXPECT_EQ(named->name, "n @m");
  EXPECT_EQ(named->data, "x = y");
  const std::string huge = "HKCR\\" + std::string(1 << 20, 'k') + " = v";
  EXPECT_TRUE(ParseRegistryLine(huge));

  EXPECT_FALSE(IsStorable({u"a", u"", u"line\nbreak"}));
  EXPECT_FALSE(IsStorable({u"a", u"", u"carriage\rreturn"}));
  EXPECT_FALSE(IsStorable({Text(u"a\0b", 3), u"", u"x"}));
  EXPECT_FALSE(IsStorable({u"", u"", u"x"}));
  EXPECT_FALSE(IsStorable({u"a = b", u"", u"x"}));
  EXPECT_FALSE(IsStorable({u"a @b", u"", u"x"}));
  EXPECT_FALSE(IsStorable({u"a", u"n = m", u"x"}));
  EXPECT_FALSE(IsStorable({u"a", u"n =", u"x"}));  // would read back as name "n", data "= x"
  EXPECT_FALSE(IsStorable({u"a =", u"", u"x"}));
  EXPECT_TRUE(IsStorable({u"a", u"n", u"data = with = equals"}));
}

// The file store, through the environment variables that choose the file.
class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = wq::testing::MakeTempDir("registry");
    for (const char* name : {"WEBQUORREL_REGISTRY", "XDG_CONFIG_HOME", "HOME"}) {
      const char* v = std::getenv(name);
      saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
    setenv("WEBQUORREL_REGISTRY", (dir_ / "registry").c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    fs::remove_all(dir_);
  }
  static std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
  }

  fs::path dir_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(RegistryStoreTest, RegisterAndUnregisterKeepOtherEntries) {
  const fs::path file = dir_ / "registry";
  Write(file, "HKCR\\Other.Thing\\CLSID = {X}\n");
  ASSERT_EQ(RegisterServer(), S_OK);
  const std::string text = Read(file);
  EXPECT_NE(text.find("HKCR\\Other.Thing\\CLSID = {X}\n"), std::string::npos);
  EXPECT_NE(text.find("HKCR\\webQuorrel.clsQuorrel\\CLSID = " + ToUtf8(GuidText(kClsidQuorrel))),
            std::string::npos);
  // The server path is this process's own file, made absolute.
  const auto server = std::find_if(Ours().begin(), Ours().end(), [](const RegistryValue& v) {
    return v.key.ends_with(u"InprocServer32") && v.name.empty();
  });
  ASSERT_NE(server, Ours().end());
  const std::string key = "HKCR\\" + ToUtf8(server->key) + " = /";
  EXPECT_NE(text.find(key), std::string::npos);

  ASSERT_EQ(UnregisterServer(), S_OK);
  EXPECT_EQ(Read(file), "HKCR\\Other.Thing\\CLSID = {X}\n");
  // Only the file and its lock are left: no temporary files.
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"registry", "registry.lock"}));
}

TEST_F(RegistryStoreTest, UnregisterWithoutAFileCreatesNothing) {
  ASSERT_EQ(UnregisterServer(), S_OK);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(RegistryStoreTest, DefaultLocationFollowsXdgConfigHome) {
  unsetenv("WEBQUORREL_REGISTRY");
  setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
  ASSERT_EQ(RegisterServer(), S_OK);
  EXPECT_TRUE(fs::exists(dir_ / "config" / "webquorrel" / "registry"));
  // Created for its owner only; a mode the administrator gave an existing file stays.
  const fs::path made = dir_ / "config" / "webquorrel" / "registry";
  EXPECT_EQ(fs::status(made).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(made.parent_path()).permissions(), fs::perms::owner_all);
  fs::permissions(made, fs::perms::group_read, fs::perm_options::add);
  ASSERT_EQ(UnregisterServer(), S_OK);
  EXPECT_EQ(fs::status(made).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // A relative XDG_CONFIG_HOME is ignored in favour of ~/.config.
  setenv("XDG_CONFIG_HOME", "relative/config", 1);
  setenv("HOME", (dir_ / "home").c_str(), 1);
  ASSERT_EQ(RegisterServer(), S_OK);
  EXPECT_TRUE(fs::exists(dir_ / "home" / ".config" / "webquorrel" / "registry"));
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("HOME");
  EXPECT_EQ(RegisterServer(), SELFREG_E_CLASS);
}

TEST_F(RegistryStoreTest, FailuresLeaveTheFileAsItWas) {
  // The registry path names a directory: it can't be read, so nothing is written.
  fs::create_directory(dir_ / "registry");
  EXPECT_EQ(RegisterServer(), SELFREG_E_CLASS);
  EXPECT_EQ(UnregisterServer(), SELFREG_E_CLASS);
  EXPECT_TRUE(fs::is_directory(dir_ / "registry"));

  // A parent that is a file.
  Write(dir_ / "plain", "x");
  setenv("WEBQUORREL_REGISTRY", (dir_ / "plain" / "registry").c_str(), 1);
  EXPECT_EQ(RegisterServer(), SELFREG_E_CLASS);
  EXPECT_EQ(Read(dir_ / "plain"), "x");

  // A directory where the temporary file can't be made (not for root, who may write anyway).
  if (geteuid() != 0) {
    fs::create_directory(dir_ / "locked");
    Write(dir_ / "locked" / "registry", "HKCR\\Other = 1\n");
    Write(dir_ / "locked" / "registry.lock", "");
    fs::permissions(dir_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    setenv("WEBQUORREL_REGISTRY", (dir_ / "locked" / "registry").c_str(), 1);
    EXPECT_EQ(RegisterServer(), SELFREG_E_CLASS);
    EXPECT_EQ(Read(dir_ / "locked" / "registry"), "HKCR\\Other = 1\n");
    fs::permissions(dir_ / "locked", fs::perms::owner_all);
  }
}

TEST_F(RegistryStoreTest, ALinkedFileStaysLinked) {
  Write(dir_ / "target", "HKCR\\Other = 1\n");
  fs::create_symlink(dir_ / "target", dir_ / "registry");
  ASSERT_EQ(RegisterServer(), S_OK);
  EXPECT_TRUE(fs::is_symlink(dir_ / "registry"));
  EXPECT_NE(Read(dir_ / "target").find("webQuorrel.clsQuorrel"), std::string::npos);
}

}  // namespace
}  // namespace wq::frame
