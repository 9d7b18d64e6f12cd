#ifndef KELVO_VIRTUAL_JOYSTICK_JOYSTICK_IOCTL_H
#define KELVO_VIRTUAL_JOYSTICK_JOYSTICK_IOCTL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Makes the process answer the joystick count queries for the FIFO at path.
 * Returns 0, or -1 when path is no FIFO or the table is full. */
int kelvo_vjoy_register_fifo(const char* path, int buttons, int axes);
/* Forgets the FIFO at path (call before removing it). */
void kelvo_vjoy_unregister_fifo(const char* path);

#ifdef __cplusplus
}
#endif

#endif
