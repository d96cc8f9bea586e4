/*
 * Each driver library defines where its port's queues live; the three
 * exports that only look at the queues are then the same code everywhere.
 */
#ifndef KESTREL_DRIVERS_COMMON_SHARED_PORT_H
#define KESTREL_DRIVERS_COMMON_SHARED_PORT_H

#include "drivers/common/port_queues.h"

CPortQueues& DriverPortQueues();

#endif
