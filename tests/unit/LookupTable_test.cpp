#include "LookupTable.h"

#include <gtest/gtest.h>

TEST(LookupTable, InsertKeepsFirstIndexAndInTableIsExact) {
  LookupTable t;
  for (const char* v : {"zero", "mean", "zero", "meanZ"}) t.insert(v);
  ASSERT_EQ(t.table.size(), 3u);
  EXPECT_EQ(t.table.at("zero"), 0);
  EXPECT_EQ(t.table.at("mean"), 1);
  EXPECT_EQ(t.table.at("meanZ"), 2);  // a repeated key does not count as an entry
  EXPECT_TRUE(t.inTable("meanZ"));
  EXPECT_FALSE(t.inTable("meanz"));
  EXPECT_FALSE(t.inTable("Zero"));
  EXPECT_FALSE(t.inTable(""));
}

TEST(LookupTable, CsvListsKeysInByteOrder) {
  LookupTable methods;
  for (const char* v : {"SNP", "GENE", "GO", "KEGG"}) methods.insert(v);
  EXPECT_EQ(methods.get_csv_enclosed(), "(GENE, GO, KEGG, SNP)");
  LookupTable mixed;  // upper case and '_' sort before lower case
  for (const char* v : {"wtdmean", "meanZ", "maxZ", "_", "B"}) mixed.insert(v);
  EXPECT_EQ(mixed.get_csv(), "B, _, maxZ, meanZ, wtdmean");
  LookupTable empty;
  EXPECT_EQ(empty.get_csv(), "");
  EXPECT_EQ(empty.get_csv_enclosed(), "()");
  empty.insert("");
  empty.insert("x");
  EXPECT_EQ(empty.get_csv_enclosed(), "(, x)");
}

TEST(LookupTable, StrToupperChangesOnlyAsciiLetters) {
  std::string s = "biological_process";
  str_toupper(s);
  EXPECT_EQ(s, "BIOLOGICAL_PROCESS");
  s = "Go-1 z\xe9";
  str_toupper(s);
  EXPECT_EQ(s, "GO-1 Z\xe9");
}
