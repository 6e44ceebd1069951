// What Apple's AppKit has and GNUstep's lacks, declared as Apple declares it: included before every
// Objective-C++ file of the macOS compile check, and nowhere else.
#pragma once

#import <AppKit/AppKit.h>

static const NSEventMask NSEventMaskKeyDown = NSKeyDownMask;

@interface NSEvent (AppleMonitors)
+ (id)addGlobalMonitorForEventsMatchingMask:(NSEventMask)mask handler:(void (^)(NSEvent* event))block;
+ (id)addLocalMonitorForEventsMatchingMask:(NSEventMask)mask handler:(NSEvent* (^)(NSEvent* event))block;
+ (void)removeMonitor:(id)eventMonitor;
@end
