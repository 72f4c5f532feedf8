// schedule.cpp - the composition of the demo: the 22 effect parts in drawing order, each with
// its interval in demo seconds. Where intervals overlap, a later row draws over an earlier one.
// The part constructors load every scene, envelope and picture they need, so all of the
// demo's data is read here, before the first frame.
#include "effects/schedule.h"

#include <new>

#include "effects/beginning.h"
#include "effects/bubble_tube.h"
#include "effects/bump.h"
#include "effects/effect_common.h"
#include "effects/introduction_poem.h"
#include "effects/panorama.h"
#include "effects/picture_stacks.h"
#include "effects/scene_playback.h"
#include "effects/shite.h"
#include "effects/title_sprites.h"
#include "effects/tunnel.h"
#include "effects/woah.h"
#include "platform/fatal.h"
#include "timeline/timeline.h"

namespace {

void scheduleOutOfMemory() {
    sys::fatal("out of memory", "The demo's effects could not be built: the machine ran out of "
                                "memory while they loaded their scenes and pictures.");
}

} // namespace

ScheduleMemoryGuard::ScheduleMemoryGuard() : previous(std::set_new_handler(&scheduleOutOfMemory)) {}

ScheduleMemoryGuard::~ScheduleMemoryGuard() {
    std::set_new_handler(previous);
}

void buildSchedule(Timeline& timeline, int& scheduleReady) {
    ScheduleMemoryGuard guard;
    // The rows that take their interval by reference keep it for the life of their part.
    static const float bubbleTubeInterval[2] = {18.341f, 40.4f};
    static const float tunnelInterval[2] = {155.44f, 172.578f};
    static const float bumpInterval[2] = {172.0f, 185.035f};

    timeline.append(new BeginningPart(0.0f, 22.0f));                                // 1
    timeline.append(new DarkHorizonPart(9.862f, 13.5f));                            // 2
    timeline.append(new TitleSpritesPart(0.0f, 20.0f));                             // 3
    timeline.append(new BoxicalPart(35.5f, 47.0f));                                 // 4
    timeline.append(new PictureTunnelPart(26.9f, 44.5f, 1, "max_t4.jpg"));          // 5
    timeline.append(new BubblebathPart(26.5f, 44.0f));                              // 6
    timeline.append(new IntroductionPoemPart(20.341f, 35.5f, 0));                   // 7
    timeline.append(new BubbleTubePart("y1.jpg", "y1.jpg", 1, bubbleTubeInterval)); // 8
    timeline.append(new ShitePart(44.4f, 60.0f));                                   // 9
    timeline.append(new PanoramaPart(44.4f, 60.0f));                                // 10
    timeline.append(new SphericalPart(53.0f, 59.0f));                               // 11
    timeline.append(new Boxical4Part(58.9f, layeredSceneStart));                    // 12
    timeline.append(new CheckPart(59.302f, layeredSceneStart));                     // 13
    timeline.append(new BackdropPart(58.9f, layeredSceneStart));                    // 14
    timeline.append(new DustPart(layeredSceneStart, 103.5f));                       // 15
    timeline.append(new WoahPart(layeredSceneStart, 104.0f));                       // 16
    timeline.append(new CreditsPart(104.0f, 138.5f));                               // 17
    timeline.append(new ClockPart(104.0f, 138.5f));                                 // 18
    timeline.append(new FacetedPart(138.302f, 159.44f));                            // 19
    timeline.append(new TunnelPart("NebulaMultiCrater1.jpg", "WaterGreenWorld.jpg", "y3.jpg",
                                   tunnelInterval)); // 20
    timeline.append(new BumpPart(bumpInterval));     // 21
    timeline.append(new EnergyPart(176.0f, 195.0f)); // 22
    scheduleReady = 1;
}
