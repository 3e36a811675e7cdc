// The sine band: fixed-function state, projection and one frame's drawing.
#ifndef SINEBAND_SCENE_H
#define SINEBAND_SCENE_H

void Initial(int Width, int Height);
void Resize(int Width, int Height);
void Draw();

// Rotation of the band in degrees, and the strip loop's variables, which keep
// the last strip's values between frames.
extern float Xrot, Yrot, Zrot;
extern float Px, Px1, Px2, Py1, Py2, Pz1, Pz2;

#endif
