// The utility library's helpers in one include: the application-facing ones
// (a path next to the program's own file, the log-on autostart value, the
// text between two markers) and the file and folder, text and list, path
// text, process, random, shell, date and log, download, FTP and update
// description helpers. Each is declared in the header of its subject.
#pragma once

#include "utils/apppath.h"
#include "utils/autorun.h"
#include "utils/datetimehelper.h"
#include "utils/downloadhelper.h"
#include "utils/filehelper.h"
#include "utils/ftphelper.h"
#include "utils/logwriter.h"
#include "utils/pathhelper.h"
#include "utils/processhelper.h"
#include "utils/randomhelper.h"
#include "utils/shellhelper.h"
#include "utils/texthelper.h"
#include "utils/updateinfo.h"
