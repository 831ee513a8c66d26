#ifndef QD_GROUP_PARAMS_H
#define QD_GROUP_PARAMS_H
/* The 50 group names of a membership test, as one block of host variables:
   a statement that writes "in (:params)" gets the 50 members bound as 50
   parameters in order, so the statement text never changes and no name is
   ever pasted into it. Entries without a group hold "!not!".

   Plain C (the embedded SQL preprocessor reads this file). The members
   follow each other without gaps, so the block is laid out exactly as
   char[50][41]; group_bom.h fills it from the caller's name list. */

struct QdGroupParams {
  char g00[41], g01[41], g02[41], g03[41], g04[41];
  char g05[41], g06[41], g07[41], g08[41], g09[41];
  char g10[41], g11[41], g12[41], g13[41], g14[41];
  char g15[41], g16[41], g17[41], g18[41], g19[41];
  char g20[41], g21[41], g22[41], g23[41], g24[41];
  char g25[41], g26[41], g27[41], g28[41], g29[41];
  char g30[41], g31[41], g32[41], g33[41], g34[41];
  char g35[41], g36[41], g37[41], g38[41], g39[41];
  char g40[41], g41[41], g42[41], g43[41], g44[41];
  char g45[41], g46[41], g47[41], g48[41], g49[41];
};

#endif
