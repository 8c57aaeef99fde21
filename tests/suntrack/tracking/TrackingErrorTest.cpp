#include <gtest/gtest.h>

#include "core/TrackingError.h"

using Suntrack::AngleBetweenDeg;
using Suntrack::CTrajectoryTrack;

TEST(TrackingError, KnownGeometry) {
    // One degree off in zenith is one degree whatever the azimuth.
    EXPECT_NEAR(AngleBetweenDeg({123.0, 40.0}, {123.0, 41.0}), 1.0, 1e-9);
    // One degree of azimuth on the horizon is one degree; at 30 degrees from the zenith it
    // spans sin 30 = half as much sky.
    EXPECT_NEAR(AngleBetweenDeg({10.0, 90.0}, {11.0, 90.0}), 1.0, 1e-9);
    EXPECT_NEAR(AngleBetweenDeg({10.0, 30.0}, {11.0, 30.0}), 0.5, 1e-4);
    // At the zenith the azimuth means nothing.
    EXPECT_NEAR(AngleBetweenDeg({0.0, 0.0}, {270.0, 0.0}), 0.0, 1e-9);
}

TEST(TrackingError, CommandedDirectionIsInterpolatedBetweenPoints) {
    CTrajectoryTrack track;
    track.AddUtc(1000.0, 100.0, 50.0);
    track.AddUtc(1060.0, 100.0, 52.0);
    EXPECT_EQ(track.SpacingSeconds(), 60);
    const auto mid = track.CommandedAt(1030.0);
    ASSERT_TRUE(mid);
    EXPECT_NEAR(mid->azimuthDeg, 100.0, 1e-9);
    EXPECT_NEAR(mid->zenithDeg, 51.0, 1e-6);
    // The reported direction 1 degree below the commanded one reads 1 degree.
    EXPECT_NEAR(AngleBetweenDeg(*mid, {100.0, 52.0}), 1.0, 1e-6);
    EXPECT_FALSE(track.CommandedAt(999.0));
    EXPECT_FALSE(track.CommandedAt(1060.5));
    EXPECT_TRUE(track.CommandedAt(1060.0));
}

TEST(TrackingError, AzimuthCrossingNorthIsInterpolatedThroughNorth) {
    // Raw azimuths 359 -> 1 averaged would point south (180): a 90 degree error.
    CTrajectoryTrack track;
    track.AddUtc(0.0, 359.0, 45.0);
    track.AddUtc(60.0, 1.0, 45.0);
    const auto mid = track.CommandedAt(30.0);
    ASSERT_TRUE(mid);
    // The great circle between the two points passes 0.0044 degrees nearer the zenith than
    // the small circle of zenith 45.
    EXPECT_NEAR(AngleBetweenDeg(*mid, {0.0, 45.0}), 0.0044, 1e-4);
}
