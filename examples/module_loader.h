/* Loading the module and finding its exports: the one part of a host that
 * depends on the operating system (module_loader_win32.c,
 * module_loader_posix.c). */
#ifndef MODULE_LOADER_H
#define MODULE_LOADER_H

/* The loaded library, or none (0) when it cannot be loaded. */
void *OpenModule(const char *path);
/* The address of an export of the library, or none. */
void *FindExport(void *library, const char *name);
/* Sleeps between frames. */
void SleepMs(unsigned milliseconds);

#endif
