// Runs trovix-find with its arguments (without the program name) and returns
// the exit status: 0 found, 1 nothing found, 2 usage error or unusable input,
// 130 interrupted. Needs a QCoreApplication; runs its event loop.
#pragma once

#include <cstdio>

#include <QStringList>

int runTrovixFind(const QStringList &args, FILE *out, FILE *err, FILE *in);
