// The scan and the delete command of the main window with their long part,
// the walk or the batch of deletions, on a worker (CommandRunner), while the
// window's thread shows what the worker hands over. What the window shows,
// and every box, is what the commands show when they run on one thread.
#pragma once

#include "frontend/common/command_runner.h"
#include "model/form1_context.h"
#include "platform/platform_services.h"

namespace tidwen::frontend {

// Command1_Click with the walk on a worker, over the platform's own listers
// and length service, which nothing else may use until it returns. The hits
// and the file being tested reach List1 and Label1 at the pacer's rounds;
// afterwards Dir1 and File1 show the directory where the walk ended.
void Command1_Click(Form1Context& form, const PlatformServices& platform, CommandRunner& runner);

// Command2_Click with the deletions on a worker, through form.FileSystem,
// which nothing else may use until it returns. The outcomes reach List1 on
// the window's thread, and each failure's box is shown there, in order,
// the worker waiting for its answer.
void Command2_Click(Form1Context& form, CommandRunner& runner);

}  // namespace tidwen::frontend
