// Message-queue link: message framing, and the resource exchange against
// a small controlling process that the test runs in a forked child on a
// queue of its own.
#include <gtest/gtest.h>

#include <sys/ipc.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>
#include <string>
#include <vector>

#include "child_process.hpp"
#include "framework/mqueue.hpp"
#include "framework/resrc.hpp"
#include "testutil.hpp"

namespace {

struct Msg {
  long mtype;
  char mtext[124];
};

void send(int qid, long type, const std::string &text) {
  Msg m{};
  m.mtype = type;
  std::snprintf(m.mtext, 120, "%s", text.c_str());
  ASSERT_EQ(msgsnd(qid, &m, 120, 0), 0);
}

std::string receive(int qid, long type) {
  Msg m{};
  ssize_t n = msgrcv(qid, &m, 120, type, IPC_NOWAIT);
  if (n < 0) return "(none)";
  m.mtext[n] = '\0';
  return m.mtext;
}

// A queue that goes away with the test.
struct Queue {
  int id = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
  ~Queue() {
    if (id >= 0) msgctl(id, IPC_RMID, nullptr);
  }
};

// A key for this test's own queue, from a file that only it uses.
key_t test_key(const tvtest::TempDir &dir, int proj) {
  std::string f = dir.file("queue.key");
  tvtest::write_file(f, "key");
  return ftok(f.c_str(), proj);
}

TEST(MqFraming, RequestsRepliesAndErrors) {
  Queue q;
  ASSERT_GE(q.id, 0);
  EXPECT_EQ(MQ_put(q.id, 3, "query res %s", "data_path"), 0);
  EXPECT_EQ(receive(q.id, 1), "3query res data_path") << "code character '0' + connection";
  MQ_put(q.id, 3, "%s", std::string(300, 'x').c_str());
  EXPECT_EQ(receive(q.id, 1), "3" + std::string(118, 'x')) << "cut, the NUL still travels";
  char item[kMqTextLen + 1];
  const std::pair<const char *, int> replies[] = {{"0/data\n", 0}, {"1", 1}, {"-", -3}};
  for (auto [text, code] : replies) {
    send(q.id, 3, text);
    EXPECT_EQ(MQ_get(q.id, 3, item), code);
    EXPECT_STREQ(item, text + 1);
  }
  Msg full{};
  full.mtype = 3;
  std::memset(full.mtext, 'y', sizeof full.mtext);
  full.mtext[0] = '0';
  ASSERT_EQ(msgsnd(q.id, &full, 120, 0), 0);
  EXPECT_EQ(MQ_get(q.id, 3, item), 0);
  EXPECT_EQ(std::string(item), std::string(119, 'y')) << "an unterminated reply is bounded";
  send(q.id, 5, "0a");
  send(q.id, 6, "0c");
  EXPECT_EQ(MQ_clear(q.id, 5), -1);
  EXPECT_EQ(receive(q.id, 5), "(none)");
  EXPECT_EQ(receive(q.id, 6), "0c");

  msgctl(q.id, IPC_RMID, nullptr);
  std::strcpy(item, "stale");
  EXPECT_EQ(MQ_get(q.id, 3, item), -1) << "receive error";
  EXPECT_STREQ(item, "");
  q.id = -1;

  tvtest::TempDir dir;
  key_t key = test_key(dir, 'm');
  ASSERT_EQ(msgget(key, 0), -1) << "the key must be unused";
  EXPECT_EQ(MQ_open(static_cast<int>(key)), -1);
  q.id = msgget(key, IPC_CREAT | 0600);
  EXPECT_EQ(MQ_open(static_cast<int>(key)), q.id);
}

// ------------------------------------------------------ controlling process

struct Script {
  std::string conn = "3";                                  // connection number given out
  std::map<std::string, std::vector<std::string>> values;  // replies per resource
  std::map<std::string, char> end_code;                    // final code per resource ('1')
};

void reply(int qid, long type, const std::string &text) {
  Msg m{};
  m.mtype = type;
  std::snprintf(m.mtext, 120, "%s", text.c_str());
  msgsnd(qid, &m, 120, 0);
}

// Answers requests until "quit"; returns them, one a line.
std::string serve(int qid, const Script &s) {
  std::string log;
  const long conn = std::atol(s.conn.c_str());
  for (Msg m{}; msgrcv(qid, &m, 120, 1, 0) > 0; m = Msg{}) {
    std::string text = m.mtext, body = text.substr(1);
    log += text + "\n";
    if (text[0] == '/') {
      reply(qid, 2, "2" + s.conn);
      if (conn < 3) break;  // the client refuses it and goes away
    } else if (body.rfind("query res ", 0) == 0) {
      auto v = s.values.find(body.substr(10));
      if (v != s.values.end())
        for (const auto &value : v->second) reply(qid, conn, "0" + value);
      auto e = s.end_code.find(body.substr(10));
      reply(qid, conn, std::string(1, e == s.end_code.end() ? '1' : e->second));
    } else {
      reply(qid, conn, "0ignored");
      reply(qid, conn, "1");
      if (body == "quit") break;
    }
  }
  return log;
}

// The controlling process: a forked child that creates the queue under
// `key`, serves it, removes it and writes its request log to a pipe.
struct Controller {
  Controller(key_t key, const Script &script) {
    int ready[2];
    if (pipe(ready) != 0 || pipe(log) != 0) return;
    pid = fork();
    if (pid == 0) {
      alarm(30);  // never outlive a broken test
      int qid = msgget(key, IPC_CREAT | IPC_EXCL | 0600);
      char ok = qid >= 0 ? 'y' : 'n';
      if (write(ready[1], &ok, 1) != 1 || qid < 0) _exit(1);
      std::string text = serve(qid, script);
      msgctl(qid, IPC_RMID, nullptr);
      _exit(write(log[1], text.data(), text.size()) < 0);
    }
    close(ready[1]);
    close(log[1]);
    char ok = 'n';
    started = read(ready[0], &ok, 1) == 1 && ok == 'y';
    close(ready[0]);
  }
  ~Controller() {
    if (pid > 0) kill(pid, SIGKILL);
    if (pid > 0) waitpid(pid, nullptr, 0);
  }
  std::string requests() {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = read(log[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    return out;
  }
  pid_t pid = -1;
  int log[2] = {-1, -1};
  bool started = false;
};

res_type kKeys[] = {RES_help,       RES_batch,      RES_message,    RES_file_path,  RES_data_path,
                    RES_con_path,   RES_grid_path,  RES_raw_path,   RES_image_path, RES_watch_path,
                    RES_text_path,  RES_model_path, RES_sat_path,   RES_city_file,  RES_stat_prior,
                    RES_input,      RES_output,     RES_name_conv,  RES_in_file,    RES_out_file,
                    RES_file_param, RES_current,    RES_hour,       RES_num_hour,   RES_decode_hour,
                    RES_identifier, RES_parameter,  RES_null};
res_type kPos[] = {RES_filenames, RES_null};

std::string val(const char *name) {
  const char *v = RES_get(name);
  return v ? v : "(null)";
}

// Decodes in a child with `defaults` as defaults path; returns the values
// of `names` and what was printed on standard error.
std::string client(const std::string &defaults, std::vector<std::string> args,
                   const std::vector<const char *> &names, const std::string &errfile) {
  tvtest::ChildResult r = tvtest::in_child([&] {
    if (!std::freopen(errfile.c_str(), "w", stderr)) return std::string("no stderr");
    setenv("zotdefault", defaults.c_str(), 1);
    MQ_set_timeout(5);
    args.insert(args.begin(), "tavro");
    std::vector<char *> argv;
    for (auto &s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    RES_init(static_cast<int>(args.size()), argv.data(), kKeys, kPos);
    std::string out;
    for (const char *n : names) out += val(n) + "|";
    return out;
  });
  EXPECT_EQ(r.status, 0);
  return r.text + tvtest::read_file(errfile);
}

TEST(MqExchange, QuerySetAndQuit) {
  tvtest::TempDir dir;
  key_t key = test_key(dir, 'x');
  std::string defaults = dir.file("defaults");
  tvtest::write_file(defaults, "tavro.city_file mycity\ntavro.grid_path /file\n");
  Script s;
  s.values["data_path"] = {"/data\n"};
  s.values["con_path"] = {"!no value\n", "\n", ""};
  s.values["grid_path"] = {"/from_window\n"};
  s.end_code["city_file"] = '-';
  Controller ctl(key, s);
  ASSERT_TRUE(ctl.started);

  std::string got = client(defaults + ":#" + std::to_string(key), {"-fp", "/cmd", "-cu"},
                           {"data_path", "con_path", "grid_path", "city_file", "file_path"}, dir.file("err"));
  EXPECT_EQ(got, "/data|(null)|/from_window|mycity|/cmd|ZEDiziv not running!\n");

  std::string req = ctl.requests();
  std::string expect = "/" + std::to_string(getuid()) + "\n";
  for (const res_type *k = kKeys; *k != RES_null; ++k) {
    RES_defobj row{};
    RES_enter(&row, *k);
    expect += std::string("3query res ") + row.def + "\n";
  }
  expect += "3query res filename\n";
  expect += "3set res city_file mycity\n";  // the window had no value for it
  expect += "3set res file_path /cmd\n3set res current \n3quit\n";
  EXPECT_EQ(req, expect);
}

TEST(MqExchange, UnusableConnectionNumberIsRefused) {
  tvtest::TempDir dir;
  key_t key = test_key(dir, 'c');
  Script s;
  s.conn = "0";  // as a reply type 0 would take every message of the queue
  Controller ctl(key, s);
  ASSERT_TRUE(ctl.started);
  std::string got = client("#" + std::to_string(key), {}, {"data_path"}, dir.file("err"));
  EXPECT_EQ(got, "(null)|ZEDiziv window: " + std::to_string(key) + " unable to connect\n");
  EXPECT_EQ(ctl.requests(), "/" + std::to_string(getuid()) + "\n");
}

TEST(MqExchange, NoQueueGoesOnWithTheNextElement) {
  tvtest::TempDir dir;
  key_t key = test_key(dir, 'n');
  ASSERT_EQ(msgget(key, 0), -1);
  std::string defaults = dir.file("defaults");
  tvtest::write_file(defaults, "tavro.data_path /after\n");
  std::string got = client("#" + std::to_string(key) + ":" + defaults, {}, {"data_path"}, dir.file("err"));
  EXPECT_EQ(got, "/after|ZEDiziv window: " + std::to_string(key) + " not running or no message queue exists\n");
}

// Decodes the bare command line with a one-second time-out, then exits 0.
void decode_with_path(const std::string &path) {
  setenv("zotdefault", path.c_str(), 1);
  MQ_set_timeout(1);
  char a0[] = "tavro";
  char *argv[] = {a0, nullptr};
  RES_init(1, argv, kKeys, kPos);
  std::exit(0);
}

TEST(MqExchange, SilentProcessTimesOutWithStatus7) {
  tvtest::TempDir dir;
  key_t key = test_key(dir, 't');
  int id = msgget(key, IPC_CREAT | IPC_EXCL | 0600);  // a queue nobody answers
  ASSERT_GE(id, 0);
  const std::string path = "#" + std::to_string(key);
  EXPECT_EXIT(decode_with_path(path), testing::ExitedWithCode(7), "Queue not responding!!");
  msgctl(id, IPC_RMID, nullptr);
}

}  // namespace
