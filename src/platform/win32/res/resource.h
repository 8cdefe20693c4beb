/* Resource identifiers of Quillon. (The version is in quillon_version.h,
 * generated from the VERSION file.)
 *
 * Shared by quillon.rc (through windres) and by the C++ sources, so it holds
 * nothing but plain #defines and needs no Windows header.
 */
#ifndef QUILLON_RESOURCE_H
#define QUILLON_RESOURCE_H

/* Program icon. It has the lowest id of all icon groups, which is the one
 * Explorer shows for quillon.exe. */
#define IDI_QUILLON 1
/* The same icon with a warning sign: the notification area shows it while
 * saves keep failing. */
#define IDI_QUILLON_ALERT 2

/* The input box: a prompt, an edit line, OK and Cancel. */
#define IDD_INPUTBOX 100
#define IDC_INPUT_PROMPT 101
#define IDC_INPUT_EDIT 102

#endif /* QUILLON_RESOURCE_H */
