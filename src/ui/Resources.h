#pragma once
// Resource ids of the program's pictures. Read by the resource compiler too: defines only.
// Every picture is an icon resource holding several sizes with an alpha channel; load it with
// LoadProgramIcon (ui/ProgramIcons.h) or LoadImageW at the size wanted.

// The program's icon (16 to 256 pixels). The lowest id, so that the shell shows it.
#define IDI_PROGRAM 1

// The main icon list, in id order: a picture's index is its id minus IDI_IMAGE1, and
// TMainImage (ui/ProgramIcons.h) names the ones the program shows (16, 20, 24, 32, 40 and 48
// pixels).
#define IDI_IMAGE1 101
#define IDI_MAIN_ICON(index) (IDI_IMAGE1 + (index))
#define IDI_ABOUT 101             /* About... */
#define IDI_USER 102              /* a user: answering a user's request */
#define IDI_USERS 103             /* users; no command shows it */
#define IDI_DAILY_LIMITS 104      /* Daily time limits... */
#define IDI_CALENDAR 105          /* Weekly time usage... (a week with its bars) */
#define IDI_REFRESH 106           /* Refresh user data */
#define IDI_PREFERENCES 107       /* Preferences... */
#define IDI_BONUS_MORE 108        /* Increase bonus time... */
#define IDI_BONUS_LESS 109        /* Decrease bonus time... */
#define IDI_REPORT 110            /* Time usage report... */
#define IDI_ROW_TIME_LEFT 111     /* 30 minutes or more remain */
#define IDI_ROW_LITTLE_TIME 112   /* less than 30 minutes remain */
#define IDI_ROW_NO_TIME 113       /* no time remains */
#define IDI_ROW_NOT_MONITORED 114 /* user not monitored */
#define IDI_VIEW_LOG 115          /* View logfile... */
#define IDI_HELP 116              /* Help */
#define IDI_PADLOCK 117           /* a padlock; no command shows it */
#define IDI_DETAILED_USAGE 118    /* Detailed time usage... */
#define IDI_PROGRAMS 119          /* Programs...: a program's window with a clock */

// The About dialog's logo (52, 78 and 104 pixels).
#define IDI_ABOUT_LOGO 130

// The bonus time dialog's pictures (32, 40, 48 and 64 pixels).
#define IDI_BONUS_INCREASE 140
#define IDI_BONUS_DECREASE 141

// The preferences dialog's tab pictures (32, 40, 48 and 64 pixels).
#define IDI_PREFS_GENERAL 150
#define IDI_PREFS_NETWORK 151
#define IDI_PREFS_MESSAGES 152
#define IDI_PREFS_ADVANCED 153

// The status bar's storage pictures (16, 20, 24, 32 and 48 pixels).
#define IDI_STORE_LOCAL 160
#define IDI_STORE_REMOTE 161

// The status bar's pictures of the time-limit service's states beside IDI_PADLOCK, the one that
// runs (16, 20, 24, 32 and 48 pixels).
#define IDI_SERVICE_STOPPED 170        /* not running: an open padlock, struck through */
#define IDI_SERVICE_NOT_RESPONDING 171 /* no minute told for too long: a padlock with a clock */
#define IDI_SERVICE_WARNING 172        /* a log-off not done, a stranger on the pipe */
