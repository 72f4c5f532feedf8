// test_scene_model.cpp - the scene model's maths (products in place, inverse, quaternion
// matrices), normals of degenerate faces, vertex adjacency, and the list look-ups.
#include <gtest/gtest.h>

#include <cmath>

#include "scene_test_support.h"

using namespace testing_support;

namespace {

void expectMatrixNear(const float* a, const float* b, float eps = 1e-5f) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(a[i], b[i], eps) << "element " << i;
    }
}

// A mesh with the given positions and triangles, adjacency and normals built as on loading.
std::unique_ptr<MeshObject> meshOf(const std::vector<std::array<float, 3>>& points,
                                   const std::vector<std::array<int, 3>>& triangles) {
    auto mesh = std::make_unique<MeshObject>();
    mesh->allocateGeometry(static_cast<int>(points.size()), 0, static_cast<int>(triangles.size()));
    for (size_t i = 0; i < points.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            mesh->vertices[i].position[c] = points[i][static_cast<size_t>(c)];
        }
        mesh->vertices[i].index = static_cast<int>(i);
    }
    for (size_t i = 0; i < triangles.size(); ++i) {
        for (int k = 0; k < 3; ++k) {
            mesh->faces[i].vertex[k] = &mesh->vertices[triangles[i][static_cast<size_t>(k)]];
            mesh->faces[i].corner[k] = &mesh->texVertices[0];
        }
    }
    buildAdjacency(mesh.get());
    computeNormals(mesh.get());
    return mesh;
}

} // namespace

TEST(SceneMaths, ProductIntoAnInputGivesTheSquare) {
    float a[16];
    for (int i = 0; i < 16; ++i) {
        a[i] = static_cast<float>(i % 5) - 1.5f;
    }
    float expected[16];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            float s = 0;
            for (int k = 0; k < 4; ++k) {
                s += a[4 * r + k] * a[4 * k + c];
            }
            expected[4 * r + c] = s;
        }
    }
    multiply(a, a, a);
    expectMatrixNear(a, expected);
}

TEST(SceneMaths, InverseUndoesATransformAndSingularGivesIdentity) {
    float r[16], s[16], t[16], m[16], inv[16], product[16], id[16];
    axisRotationAngle(r, 2, 0.7f);
    identity(s);
    s[0] = 2.0f;
    s[5] = 0.5f;
    s[10] = 3.0f;
    const float move[3] = {4, -5, 6};
    translation(t, move);
    multiply(m, s, r);
    multiply(m, m, t);
    ASSERT_TRUE(invert(inv, m));
    multiply(product, m, inv);
    identity(id);
    expectMatrixNear(product, id);

    s[10] = 0.0f; // a node scaled flat has no inverse
    multiply(m, s, t);
    EXPECT_FALSE(invert(inv, m));
    expectMatrixNear(inv, id, 0);
}

TEST(SceneMaths, IdentityQuaternionAndZeroVector) {
    float m[16], id[16];
    identity(id);
    fromQuaternion(m, 1, 0, 0, 0);
    expectMatrixNear(m, id, 0);
    float v[3] = {0, 0, 0};
    normalise3(v); // stays zero, no NaN
    EXPECT_EQ(v[0], 0.0f);
}

TEST(SceneNormals, CollinearFaceHasZeroNormalAndAddsNothing) {
    // Face 0 is a proper triangle in the XY plane; face 1 is collinear along X.
    auto mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}},
                       {{0, 1, 2}, {3, 4, 5}});
    EXPECT_FLOAT_EQ(mesh->faces[0].normal[2], 1.0f);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(mesh->faces[1].normal[c], 0.0f);
        EXPECT_EQ(mesh->vertices[4].normal[c], 0.0f); // only used by the collinear face
    }
    EXPECT_FLOAT_EQ(mesh->vertices[0].normal[2], 1.0f);
}

TEST(SceneNormals, VertexNormalIsTheUnweightedAverageOfItsFaces) {
    // Two faces meeting at a right angle along the X axis: normals +Z and -Y.
    auto mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2}, {0, 1, 3}});
    EXPECT_FLOAT_EQ(mesh->faces[1].normal[1], -1.0f);
    const float h = std::sqrt(0.5f);
    EXPECT_NEAR(mesh->vertices[0].normal[1], -h, 1e-6);
    EXPECT_NEAR(mesh->vertices[0].normal[2], h, 1e-6);
}

TEST(SceneAdjacency, SharedVerticesListEachFaceAndNeighbourOnce) {
    // A fan of 20 triangles around vertex 0: its lists grow past 16 entries.
    std::vector<std::array<float, 3>> points{{0, 0, 0}};
    std::vector<std::array<int, 3>> triangles;
    for (int i = 0; i < 21; ++i) {
        const float a = static_cast<float>(i) * 0.3f;
        points.push_back({std::cos(a), std::sin(a), 0});
    }
    for (int i = 1; i <= 20; ++i) {
        triangles.push_back({0, i, i + 1});
    }
    auto mesh = meshOf(points, triangles);
    const Vertex& centre = mesh->vertices[0];
    EXPECT_EQ(centre.faces.count, 20);
    EXPECT_EQ(centre.faces.capacity, 32);
    EXPECT_EQ(centre.neighbours.count, 21);
    EXPECT_EQ(centre.faces.items[19], &mesh->faces[19]);
    const Vertex& rim = mesh->vertices[5]; // in triangles 4 and 5
    EXPECT_EQ(rim.faces.count, 2);
    EXPECT_EQ(rim.neighbours.count, 3); // the centre, 4 and 6, each once
    EXPECT_TRUE(rim.neighbours.contains(&mesh->vertices[0]));
    EXPECT_TRUE(rim.neighbours.contains(&mesh->vertices[4]));
    EXPECT_TRUE(rim.neighbours.contains(&mesh->vertices[6]));
}

TEST(SceneLists, LinkingKeepsFileOrderAndLookUpsAreExact) {
    Scene scene("lists.exp");
    EXPECT_NE(scene.materials, nullptr);
    auto* a = new MeshObject;
    auto* b = new MeshObject;
    a->id = 9;
    b->id = 5;
    linkMesh(&scene, a);
    linkMesh(&scene, b);
    EXPECT_EQ(scene.firstMesh, a);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(scene.hasMeshes, 1);
    auto* motionA = new Motion;
    auto* motionB = new Motion;
    linkMotion(motionA, a);
    linkMotion(motionB, b);
    EXPECT_EQ(motionA->owner, a);
    EXPECT_EQ(a->motion, motionA);
    // Only the first mesh is looked at.
    EXPECT_EQ(findMotionById(&scene, 9), motionA);
    EXPECT_EQ(findMotionById(&scene, 5), nullptr);
    EXPECT_EQ(findMotionById(&scene, -1), nullptr);

    auto* d1 = new DummyNode;
    auto* d2 = new DummyNode;
    std::strcpy(d1->name, "Target");
    std::strcpy(d2->name, "target");
    linkDummy(&scene, d1);
    linkDummy(&scene, d2);
    EXPECT_EQ(findDummy(&scene, "target"), d2);
    EXPECT_EQ(findDummy(&scene, "Target"), d1);
    EXPECT_EQ(findDummy(&scene, "Targe"), nullptr);
    EXPECT_EQ(scene.hasDummies, 1);
}

TEST(SceneLists, SceneNamesLongerThan35CharactersAreRefused) {
    const std::string fits(35, 's');
    Scene ok(fits.c_str());
    EXPECT_STREQ(ok.fileName, fits.c_str());
    ::testing::internal::CaptureStderr();
    const int code = exitCodeOf([&] { Scene tooLong((fits + "x").c_str()); });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("36 characters"), std::string::npos) << err;
}
