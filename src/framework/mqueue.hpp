// Client side of the System V message-queue link to a controlling display
// process: connect, send text requests, read text replies, with an alarm
// time-out that ends the program (status 7) when the process stops
// answering.
#pragma once

// Texts travel as one code character, the text and a NUL in 120 bytes: a
// request holds at most kMqTextLen - 1 characters of text (longer ones are
// cut), a reply at most kMqTextLen. MQ_get's `item` needs kMqTextLen + 1
// bytes.
constexpr int kMqTextLen = 119;

// Installs the default alarm handler and opens the existing queue with key
// `num` (plus the key offset). The queue identifier (0 is a valid one);
// -1 when no queue exists for the key; -2 when it exists but cannot be
// opened (for example no permission).
int MQ_open(int num);

// The connection number given by the controlling process, or -1 (also for
// a number that cannot serve as a reply type of this client: below 3 or
// above 79, where the code character would leave the digits' range).
int MQ_connect(int msgqid);

// Formats and sends a request; the send result (0, or -1).
int MQ_put(int msgqid, int conn_id, const char *format, ...) __attribute__((format(printf, 3, 4)));

// Waits for a reply of type `conn_id`; its text into `item`, returns the
// reply code. On a receive error `item` is empty and -1 is returned.
int MQ_get(int msgqid, int conn_id, char *item);

// Removes every waiting message of type `index`; returns -1.
int MQ_clear(int msgqid, int index);

int MQ_enable_alarm();
int MQ_disable_alarm();
// Default time-out handler: "Queue not responding!!" and status 7.
void MQ_intrp(int sig);

// The time-out in seconds (20 unless set; values below 1 give 1).
int MQ_set_timeout(int seconds);
// Replaces the time-out handler (null: the default one).
int MQ_set_intrp(void (*func)(int));
