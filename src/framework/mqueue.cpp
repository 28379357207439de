// Message-queue link: System V queue transport with polling receives and
// an alarm as time-out.
#include "framework/mqueue.hpp"

#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/mess.hpp"
#include "framework/system.hpp"

namespace {

constexpr M_type kLevFail = 192;
constexpr M_type kLevTrace = 0x80000000u;
constexpr std::size_t kMsgSize = 120;  // text size of every message
constexpr long kRequestType = 1;
constexpr long kConnectType = 2;
constexpr int kMinConn = 3;   // 1 and 2 are the request and connect types
constexpr int kMaxConn = 79;  // '0' + 79 is still a 7-bit character

struct mqueuebuf {
  long mtype;
  char mtext[124];
};

int key_offset = 0;
int timeout_secs = 20;
void (*timeout_func)(int) = nullptr;

void sleep_us(useconds_t us) { ::usleep(us); }

}  // namespace

void MQ_intrp(int) {
  MESS_print(kLevFail, "Queue not responding!!\n");
  ZOT_exit(7);
}

int MQ_set_timeout(int seconds) {
  timeout_secs = seconds < 1 ? 1 : seconds;
  return 0;
}

int MQ_set_intrp(void (*func)(int)) {
  timeout_func = func;
  return 0;
}

int MQ_enable_alarm() {
  std::signal(SIGALRM, timeout_func ? timeout_func : MQ_intrp);
  ::alarm(static_cast<unsigned>(timeout_secs));
  return 0;
}

int MQ_disable_alarm() {
  ::alarm(0);
  return 0;
}

int MQ_open(int num) {
  std::signal(SIGALRM, MQ_intrp);
  int id = ::msgget(static_cast<key_t>(num + key_offset), 0);
  if (id >= 0) return id;
  return errno == ENOENT ? -1 : -2;
}

int MQ_clear(int msgqid, int index) {
  mqueuebuf buf;
  while (::msgrcv(msgqid, &buf, kMsgSize, index, IPC_NOWAIT | MSG_NOERROR) >= 0) {
  }
  return -1;
}

int MQ_put(int msgqid, int conn_id, const char *format, ...) {
  mqueuebuf buf{};
  buf.mtype = kRequestType;
  buf.mtext[0] = static_cast<char>('0' + conn_id);
  va_list ap;
  va_start(ap, format);
  // kMsgSize - 1 bytes after the code character: the NUL always travels.
  std::vsnprintf(buf.mtext + 1, kMsgSize - 1, format, ap);
  va_end(ap);
  if (MESS_check(kLevTrace)) MESS_print(kLevTrace, "PUT:%d:%s\n", conn_id, buf.mtext);
  MQ_enable_alarm();
  int rc = ::msgsnd(msgqid, &buf, kMsgSize, 0);
  MQ_disable_alarm();
  return rc < 0 ? -1 : 0;
}

int MQ_get(int msgqid, int conn_id, char *item) {
  mqueuebuf buf{};
  ssize_t got = -1;
  MQ_enable_alarm();
  for (int tries = 1;; ++tries) {
    got = ::msgrcv(msgqid, &buf, kMsgSize, conn_id, IPC_NOWAIT | MSG_NOERROR);
    int err = got < 0 ? errno : 0;
    if (MESS_check(kLevTrace))
      MESS_print(kLevTrace, "GET-MSG:%d %d %d %d\n", conn_id, static_cast<int>(got), err, tries);
    if (got >= 0 || err != ENOMSG) break;
    // The first two retries at once, then every 0.1 s, after 200 every 1 s.
    if (tries > 200)
      sleep_us(1000000);
    else if (tries > 2)
      sleep_us(100000);
  }
  MQ_disable_alarm();
  if (got < 0) {
    if (item) item[0] = '\0';
    return -1;
  }
  buf.mtext[got] = '\0';
  if (MESS_check(kLevTrace)) MESS_print(kLevTrace, "GET:%s\n", buf.mtext);
  if (item) {
    const char *text = got > 0 ? buf.mtext + 1 : "";
    std::size_t n = ::strnlen(text, kMqTextLen);
    std::memcpy(item, text, n);
    item[n] = '\0';
  }
  return buf.mtext[0] - '0';
}

int MQ_connect(int msgqid) {
  MQ_clear(msgqid, kConnectType);
  mqueuebuf buf{};
  buf.mtype = kRequestType;
  std::snprintf(buf.mtext, kMsgSize, "/%d", static_cast<int>(::getuid()));
  if (MESS_check(kLevTrace)) MESS_print(kLevTrace, "PUT:%d:%s\n", -1, buf.mtext);
  MQ_enable_alarm();
  int conn = -1;
  if (::msgsnd(msgqid, &buf, kMsgSize, 0) == 0) {
    mqueuebuf reply{};
    ssize_t got;
    do {
      got = ::msgrcv(msgqid, &reply, kMsgSize, kConnectType, MSG_NOERROR);
    } while (got < 0 && errno == EINTR && timeout_func == nullptr);
    if (got > 0) {
      reply.mtext[got] = '\0';
      if (MESS_check(kLevTrace)) MESS_print(kLevTrace, "GET:%s\n", reply.mtext);
      if (reply.mtext[0] - '0' == 2) {
        char *end = nullptr;
        long n = std::strtol(reply.mtext + 1, &end, 10);
        if (end != reply.mtext + 1 && n >= kMinConn && n <= kMaxConn) conn = static_cast<int>(n);
      }
    }
  }
  MQ_disable_alarm();
  if (conn > 0) MQ_clear(msgqid, conn);
  return conn;
}
