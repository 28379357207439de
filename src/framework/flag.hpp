// Process-wide integer flags and plot switches.
#pragma once

int FLAG_get(int flag);
int FLAG_set(int flag, int value);
int FLAG_reset(int value);
int FLAG_batch();
int FLAG_help();
int FLAG_setplot(int type, int val);
int FLAG_getplot(int type);
int FLAG_resetplot(int val);
