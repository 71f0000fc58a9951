#include "engine_fixture.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/fb/client_library.h"
#include "util/database_defaults.h"

namespace tramolin::testing {

namespace fs = std::filesystem;

namespace {

std::size_t ThreadCount() {
  std::error_code error;
  std::size_t count = 0;
  for (fs::directory_iterator task("/proc/self/task", error), end; !error && task != end;
       task.increment(error)) {
    ++count;
  }
  return count;
}

// The client unloads the libraries it loads for an attachment (the login plug-in, the trace
// plug-in, the character sets), and the leak check at exit then read the main thread's stale
// thread-local storage entry for one of them and crashed; loaded once more with RTLD_NODELETE,
// they stay for the life of the process. The engine's threads end with the
// test program: the shutdown waits until their number has settled.
class FirebirdEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { PinFirebirdPlugins(); }
  void TearDown() override {
    fb::ShutdownClientLibrary(10'000);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(3);
    Clock::time_point settled_since = Clock::now();
    for (std::size_t count = ThreadCount(); Clock::now() < deadline;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const std::size_t now = ThreadCount();
      if (now != count) settled_since = Clock::now();
      count = now;
      if (Clock::now() - settled_since > std::chrono::milliseconds(100)) break;
    }
  }
};

[[maybe_unused]] ::testing::Environment* const kFirebirdEnvironment =
    ::testing::AddGlobalTestEnvironment(new FirebirdEnvironment);

std::string ValueText(const fb::ResultSet& row, int i) {
  if (row.IsNull(i)) return "<NULL>";
  switch (row.Column(i).type) {
    case fb::SqlType::kDouble:
    case fb::SqlType::kFloat:
    case fb::SqlType::kTimestamp:
    case fb::SqlType::kDate:
    case fb::SqlType::kTime: {
      const double value =
          row.Column(i).type == fb::SqlType::kDouble || row.Column(i).type == fb::SqlType::kFloat
              ? row.GetDouble(i)
              : row.GetDateTime(i);
      char text[40];
      std::snprintf(text, sizeof text, "%.17g", value);
      return text;
    }
    default:
      return row.GetString(i);
  }
}

const fs::path kSourceDir = TRAMOLIN_SOURCE_DIR;
const fs::path kBinaryDir = TRAMOLIN_BINARY_DIR;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Identifies the schema and the script the template was made from.
std::string SchemaStamp() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(kSourceDir / "schema")) {
    if (entry.path().extension() == ".sql") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  files.push_back(kSourceDir / "scripts" / "make-databases.sh");
  std::string all;
  for (const fs::path& file : files) all += file.filename().string() + ReadFile(file);
  return std::to_string(std::hash<std::string>{}(all));
}

class FileLock {
 public:
  explicit FileLock(const fs::path& path) : fd_(::open(path.c_str(), O_CREAT | O_RDWR, 0644)) {
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0)
      throw std::runtime_error("cannot lock " + path.string());
  }
  ~FileLock() {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

// The template databases, made once for every test process of this build.
fs::path TemplateDir() {
  const fs::path dir = kBinaryDir / "engine-template";
  fs::create_directories(kBinaryDir);
  FileLock lock(kBinaryDir / "engine-template.lock");
  const std::string stamp = SchemaStamp();
  if (ReadFile(dir / "stamp") == stamp && fs::exists(dir / "main.fdb")) return dir;
  fs::remove_all(dir);
  const fs::path work = kBinaryDir / "engine-template.new";
  fs::remove_all(work);
  const std::string command = "TRAMOLIN_FB_PASSWORD='" + AdminPassword() + "' '" +
                              (kSourceDir / "scripts" / "make-databases.sh").string() + "' '" +
                              work.string() + "' 2 >/dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("make-databases.sh failed");
  std::ofstream(work / "stamp", std::ios::binary) << stamp;
  fs::rename(work, dir);
  return dir;
}

}  // namespace

void PinFirebirdPlugins() {
  const char* root = std::getenv("FIREBIRD");
  const fs::path dir(root != nullptr && *root != '\0' ? root
                                                      : "/usr/lib/x86_64-linux-gnu/firebird/3.0");
  for (const char* library : {"plugins/libEngine12.so", "plugins/libSrp.so",
                              "plugins/libfbtrace.so", "intl/libfbintl.so"}) {
    ::dlopen((dir / library).c_str(), RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
  }
}

std::string AdminPassword() { return std::string(kDefaultAdminPassword); }

std::string AdminParams() {
  return "user_name=SYSDBA\r\npassword=" + AdminPassword() + "\r\nlc_ctype=WIN1250\r\n";
}

TestConnection::TestConnection(const std::string& database) {
  attachment.Open(database, AdminParams());
}

void EngineFixture::SetUp() {
  const fs::path source = TemplateDir();
  std::string pattern = (fs::temp_directory_path() / "tramolin-engine-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  for (const char* name : {"main.fdb", "copy1.fdb", "copy2.fdb"}) {
    fs::copy_file(source / name, dir_ / name);
  }
}

void EngineFixture::TearDown() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

void EngineFixture::Exec(const std::string& database, std::string_view sql) {
  TestConnection db(database);
  db.transaction.Start();
  fb::Statement statement(db.transaction, sql);
  statement.Execute();
  db.transaction.Commit();
}

std::string EngineFixture::Query(const std::string& database, std::string_view sql) {
  TestConnection db(database);
  db.transaction.Start();
  fb::Statement statement(db.transaction, sql);
  fb::ResultSet rows = statement.Open();
  std::string value = rows.Next() ? rows.GetString(0) : std::string();
  rows.Close();
  db.transaction.Commit();
  return value;
}

long long EngineFixture::QueryInt(const std::string& database, std::string_view sql) {
  return std::stoll(Query(database, sql));
}

std::vector<std::vector<std::string>> EngineFixture::TableRows(const std::string& database,
                                                               std::string_view table,
                                                               std::string_view key) {
  TestConnection connection(database);
  connection.transaction.Start();
  fb::Statement select(connection.transaction,
                       "SELECT * FROM " + std::string(table) + " ORDER BY " + std::string(key));
  std::vector<std::vector<std::string>> rows;
  {
    fb::ResultSet row = select.Open();
    while (row.Next()) {
      std::vector<std::string> values;
      for (int i = 0; i < row.ColumnCount(); ++i) values.push_back(ValueText(row, i));
      rows.push_back(std::move(values));
    }
  }
  connection.transaction.Commit();
  return rows;
}

void EngineFixture::RecordEventCalls(const std::string& database) {
  Exec(database, "CREATE TABLE EVENTLOG (ID INTEGER, NAZWA VARCHAR(100) CHECK (NAZWA <> 'BOOM'))");
  Exec(database, "CREATE SEQUENCE EVENTLOG_ID");
  // PSQL needs no ":" before a parameter outside DML, and our statements would bind one.
  Exec(database,
       "ALTER PROCEDURE EVENT (NAZWA VARCHAR(100)) AS BEGIN EXECUTE STATEMENT "
       "('INSERT INTO EVENTLOG VALUES (NEXT VALUE FOR EVENTLOG_ID, ?)') (NAZWA); END");
}

std::string EngineFixture::RecordedEvents(const std::string& database) {
  return Query(database, "SELECT LIST(NAZWA, ',') FROM (SELECT NAZWA FROM EVENTLOG ORDER BY ID)");
}

}  // namespace tramolin::testing
